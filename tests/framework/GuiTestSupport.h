#pragma once
// Small helpers of the framework's GUI tests: an application per test and control builders.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "framework/FormBuilder.h"
#include "framework/Forms.h"

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override { app = std::make_unique<TApplication>(); }
    void TearDown() override
    {
        app.reset();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    std::unique_ptr<TApplication> app;
};

