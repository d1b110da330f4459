// The folders of the program are layers: each includes only from its own
// folder and the ones below it, so that a subsystem can be read, built and
// tested without the stages that come after it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Bottom to top.
const std::vector<std::string> kLayers = {"fortio", "core",     "input",  "orbitals",
                                          "detspace", "density", "driver"};

int layer_of(const std::string& folder) {
  for (size_t k = 0; k < kLayers.size(); ++k)
    if (kLayers[k] == folder) return static_cast<int>(k);
  return -1;
}

TEST(Layers, NoFolderIncludesFromAFolderAboveIt) {
  const std::filesystem::path root = CIPROP_SOURCE_DIR;
  int files = 0;
  for (const std::string& folder : kLayers) {
    for (const auto& entry : std::filesystem::directory_iterator(root / folder)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".cpp" && ext != ".hpp") continue;
      ++files;
      std::ifstream f(entry.path());
      int line_no = 0;
      for (std::string line; std::getline(f, line);) {
        ++line_no;
        if (line.rfind("#include \"", 0) != 0) continue;
        const std::string target = line.substr(10, line.find('"', 10) - 10);
        const size_t slash = target.find('/');
        ASSERT_NE(slash, std::string::npos) << entry.path() << ":" << line_no;
        const int to = layer_of(target.substr(0, slash));
        EXPECT_GE(to, 0) << entry.path() << ":" << line_no << " includes " << target;
        EXPECT_LE(to, layer_of(folder)) << entry.path() << ":" << line_no << " includes " << target;
      }
    }
  }
  EXPECT_GT(files, 40);
}

}  // namespace
