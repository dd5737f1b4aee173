// Runs a fuzz target's entry point once over every file of the folders or files named on the
// command line, so the host build replays the seeds under the sanitizers.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bytes.push_back('\0');  // like libFuzzer: never a null pointer, even for an empty input
  LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size() - 1);
  return 1;
}

int main(int argc, char** argv) {
  static const uint8_t empty[1] = {0};
  LLVMFuzzerTestOneInput(empty, 0);
  int runs = 1;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(arg))
        if (entry.is_regular_file()) runs += RunFile(entry.path());
    } else if (std::filesystem::is_regular_file(arg)) {
      runs += RunFile(arg);
    }
  }
  std::printf("replayed %d inputs\n", runs);
  return 0;
}
