#pragma once
// What the tests run under upload_peers.py share: the peers' ports and folder from its environment.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

inline std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    if (!value)
        ADD_FAILURE() << name << " is not set: run under upload_peers.py";
    return value ? value : "";
}

// The peers' folder as Wine sees it.
inline std::filesystem::path PeerDir() { return std::filesystem::path("Z:" + Env("VIDUDO_PEER_DIR")); }
