#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "mesh_readers.h"
#include "refine_command.h"

namespace vemra::tool {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class RefineCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("vemra-refine-test-" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string file(const std::string& name, const std::string& content) {
    const auto path = (folder_ / name).string();
    std::ofstream{path, std::ios::binary} << content;
    return path;
  }
  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  int run(const std::vector<std::string>& arguments) {
    out_.str("");
    err_.str("");
    return run_refine(arguments, out_, err_);
  }

  fs::path folder_;
  std::ostringstream out_, err_;
};

// Two squares sharing an edge, one OBJ group each.
const char* const two_groups =
    "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 0 1 0\nv 1 1 0\nv 2 1 0\n"
    "g west\nf 1 2 5\nf 1 5 4\ng east\nf 2 3 6 5\n";

TEST_F(RefineCommand, RefinesAFileAndWritesEveryOutput) {
  const auto input = file("squares.obj", two_groups);
  const auto output = path("out");
  ASSERT_EQ(run({input, "-o", output, "--size", "0.1", "--stats", "json"}), 0)
      << err_.str();
  for (const char* name : {"model.obj", "model.vtp", "picture.svg", "stats.json"}) {
    EXPECT_TRUE(fs::exists(fs::path{output} / name)) << name;
  }
  const std::string json = out_.str();
  for (const char* key :
       {"\"triangles_before\": 4", "\"triangles_after\"", "\"splits\"",
        "\"seconds\": {\"read\"", "\"refine\"", "\"check\": \"ok\"",
        "\"min_angle_before\"", "\"min_angle_after\"", "\"max_edge_ratio\""}) {
    EXPECT_NE(json.find(key), std::string::npos) << key << " in " << json;
  }
  std::ifstream obj{fs::path{output} / "model.obj"};
  std::string line;
  int groups = 0;
  while (std::getline(obj, line)) groups += line.rfind("g ", 0) == 0;
  EXPECT_EQ(groups, 2);
  // The written model reads back as the same two surfaces, named after the groups.
  const auto back = read_soup((fs::path{output} / "model.obj").string());
  EXPECT_EQ(back.patch_names, (std::vector<std::string>{"west", "east"}));
}

TEST_F(RefineCommand, SectionAndSingleFileOutput) {
  const auto input = file("squares.obj", two_groups);
  ASSERT_EQ(
      run({input, "--section", "-o", path("model.vtp"), "--size-expr", "0.05 + 0.1*x"}),
      0)
      << err_.str();
  EXPECT_TRUE(fs::exists(path("model.vtp")));
  EXPECT_NE(out_.str().find("model check        ok"), std::string::npos) << out_.str();
}

TEST_F(RefineCommand, BadInputIsOneLineExitTwoAndNothingWritten) {
  struct Case {
    const char* name;
    std::string file_name, content;
    std::vector<std::string> options;
    std::string message;
  };
  const std::vector<Case> cases{
      {"missing file", "", "", {}, "missing.obj: cannot open the file"},
      {"unknown format", "mesh.xyz", "1 2 3", {}, "unknown format 'xyz'"},
      {"malformed number",
       "bad.obj",
       "v 0 0 0\nv 1 x 0\n",
       {},
       "bad.obj:2: 'x' is not a number"},
      {"index out of range",
       "range.obj",
       "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n",
       {},
       "range.obj:4: vertex 9 is out of range"},
      {"not finite",
       "inf.obj",
       "v 0 inf 0\n",
       {},
       "inf.obj:1: coordinate 'inf' is not finite"},
      {"degenerate",
       "flat.obj",
       "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 2\n",
       {},
       "Triangle 0 repeats a vertex"},
      {"non-manifold",
       "fan.obj",
       "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 -1 0\nv 0 0 1\nf 1 2 3\nf 2 1 4\nf 1 2 5\n",
       {},
       "is used by more than two triangles"},
      {"truncated off", "short.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n", {}, "the file ends"},
      {"zero size",
       "squares.obj",
       two_groups,
       {"--size", "0"},
       "--size: the size must be a positive"},
      {"negative size field",
       "squares.obj",
       two_groups,
       {"--size-expr", "x - 0.5"},
       "size field: [Splitter] The metric gives a size of"},
      {"expression",
       "squares.obj",
       two_groups,
       {"--size-expr", "0.1 +* x"},
       "--size-expr:"},
      {"unknown variable",
       "squares.obj",
       two_groups,
       {"--size-expr", "0.1 + w"},
       "--size-expr:"},
      {"section not flat",
       "squares.obj",
       "v 0 0 1\nv 1 0 0\nv 0 1 0\nf 1 2 3\n",
       {"--section"},
       "vertex 0 has z = 1"},
      {"unknown option", "squares.obj", two_groups, {"--fast"}, "--fast: unknown option"},
      {"unwritable folder",
       "squares.obj",
       two_groups,
       {"-o", "/proc/vemra/out"},
       "/proc/vemra/out: cannot create the output folder"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto input =
        c.file_name.empty() ? path("missing.obj") : file(c.file_name, c.content);
    const auto output = path("out-" + std::string{c.name});
    std::vector<std::string> arguments{input, "-o", output};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    EXPECT_EQ(run(arguments), 2);
    const std::string error = err_.str();
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
    EXPECT_TRUE(out_.str().empty());
    EXPECT_TRUE(!fs::exists(output) || fs::is_empty(output)) << output;
  }
}

}  // namespace
}  // namespace vemra::tool
