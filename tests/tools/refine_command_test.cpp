#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>
#include <zlib.h>

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
       {"\"triangles_before\": 4", "\"order\": \"banded\"", "\"triangles_after\"",
        "\"splits\"", "\"seconds\": {\"read\"", "\"refine\"", "\"check\": \"ok\"",
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

TEST_F(RefineCommand, RemeshesAFileToTheSize) {
  const auto input = file("squares.obj", two_groups);
  const auto output = path("out");
  ASSERT_EQ(run({input, "--remesh", "-o", output, "--size", "0.1", "--stats", "json"}), 0)
      << err_.str();
  const std::string json = out_.str();
  for (const char* key :
       {"\"mode\": \"remesh\"", "\"angles\": {\"before\": {\"smallest\"",
        "\"edge_over_size\"", "\"check\": \"ok\"", "\"lines\": "}) {
    EXPECT_NE(json.find(key), std::string::npos) << key << " in " << json;
  }
  EXPECT_EQ(json.find("\"splits\""), std::string::npos) << json;
  // Two unit squares at h = 0.1: about 2 / (sqrt(3) / 4 * 0.01) = 462 triangles.
  const auto back = read_soup((fs::path{output} / "model.obj").string());
  EXPECT_GT(back.triangles.size(), 350u);
  EXPECT_LT(back.triangles.size(), 600u);
  EXPECT_EQ(back.patch_names, (std::vector<std::string>{"west", "east"}));
}

// A small file of tests/tools/data.
std::string data(const std::string& name) {
  return std::string{VEMRA_TOOL_TEST_DATA} + "/" + name;
}

// Every bad input or option: its exit status, one line that names the file, line or
// option, and no file or folder left behind.
TEST_F(RefineCommand, BadInputIsOneLineWithItsStatusAndNothingIsLeft) {
  struct Case {
    const char* name;
    std::string input;  // a file of tests/tools/data, or a path
    std::vector<std::string> options;
    int status;
    std::string message;
  };
  const std::string in_tree_output = "out";  // replaced by a fresh path below
  const std::vector<Case> cases{
      {"missing file", "missing.obj", {}, 2, "missing.obj: cannot open the file"},
      {"unknown format", "mesh.xyz", {}, 2, "unknown format 'xyz'"},
      {"short vertex",
       "short_vertex.obj",
       {},
       2,
       "short_vertex.obj:1: a vertex line has 2 numbers"},
      {"index out of range",
       "index_out_of_range.obj",
       {},
       2,
       "index_out_of_range.obj:4: vertex 9 is out of range"},
      {"not finite",
       "not_finite.obj",
       {},
       2,
       "not_finite.obj:1: coordinate 'inf' is not finite"},
      {"repeated vertex",
       "repeated_vertex.obj",
       {},
       2,
       "repeated_vertex.obj:5: the triangle of vertex 1, vertex 2 and vertex 2 has no "
       "area"},
      {"collinear",
       "collinear.obj",
       {},
       2,
       "collinear.obj:6: the triangle of vertex 1, vertex 2 and vertex 3 has no area"},
      {"repeated face",
       "repeated_face.obj",
       {},
       2,
       "repeated_face.obj:7: the face of vertex 3, vertex 2 and vertex 1 repeats the one "
       "at line 5"},
      {"non-manifold",
       "non_manifold.obj",
       {},
       2,
       "non_manifold.obj:6: the edge between vertex 1 and vertex 2 is held by more than "
       "two "
       "triangles of one surface, among them the one at line 7"},
      {"flipped",
       "flipped.obj",
       {},
       2,
       "flipped.obj:5: this triangle and the one at line 6 run the same way along the "
       "edge "
       "between vertex 2 and vertex 3"},
      {"no triangles", "no_triangles.obj", {}, 2, "no_triangles.obj: no triangles"},
      {"random bytes", "random_bytes.stl", {}, 2, "random_bytes.stl:1: expected 'solid'"},
      {"truncated stl",
       "truncated.stl",
       {},
       2,
       "truncated.stl:9: the file ends inside the facet"},
      {"stl without end", "no_endsolid.stl", {}, 2, "the file ends before 'endsolid'"},
      {"ply repeated x",
       "repeated_x.ply",
       {},
       2,
       "repeated_x.ply:5: a second 'x' property"},
      {"ply list coordinate",
       "list_coordinate.ply",
       {},
       2,
       "property 'z' is a list, not a number"},
      {"ply missing z", "missing_z.ply", {}, 2, "element 'vertex': no property 'z'"},
      {"ply count", "bad_count.ply", {}, 2, "bad_count.ply:3: bad element count '3abc'"},
      {"truncated off", "truncated.off", {}, 2, "the file ends where a vertex should be"},
      {"not flat", "not_flat.obj", {"--section"}, 2, "not_flat.obj: vertex 1 has z = 1"},
      {"zero size",
       "triangle.obj",
       {"--size", "0"},
       2,
       "--size: the size must be a positive number, not 0"},
      {"size as a word",
       "triangle.obj",
       {"--size=small"},
       2,
       "--size: 'small' is not a number"},
      {"nan size",
       "triangle.obj",
       {"--size-expr", "sqrt(-1)"},
       2,
       ") is nan; a size must be a positive, finite number"},
      {"infinite size",
       "triangle.obj",
       {"--size-expr", "1/0"},
       2,
       ") is inf; a size must be"},
      {"negative size",
       "triangle.obj",
       {"--size-expr=x - 0.5"},
       2,
       "size field: the size at ("},
      {"expression", "triangle.obj", {"--size-expr", "0.1 +* x"}, 2, "--size-expr:"},
      {"unknown variable", "triangle.obj", {"--size-expr", "0.1 + w"}, 2, "--size-expr:"},
      {"too many triangles",
       "triangle.obj",
       {"--size", "1e-6"},
       2,
       "triangles expected, more than the limit of"},
      {"limit reached",
       "triangle.obj",
       {"--size-expr", "abs(x - 1/3) + abs(y - 1/3) < 0.01 ? 1 : 0.004",
        "--max-triangles", "500"},
       4,
       "over the limit of 500 (raise it with --max-triangles); nothing written"},
      {"flag with a value",
       "triangle.obj",
       {"--no-check=1"},
       2,
       "--no-check: takes no value"},
      {"unknown option", "triangle.obj", {"--fast"}, 2, "--fast: unknown option"},
      {"unknown order",
       "triangle.obj",
       {"--order", "random"},
       2,
       "--order: 'exact' or 'banded', not 'random'"},
      {"remesh option alone",
       "triangle.obj",
       {"--iterations", "3"},
       2,
       "--iterations: only with --remesh"},
      {"feature angle",
       "triangle.obj",
       {"--remesh", "--feature-angle", "180"},
       2,
       "--feature-angle: degrees, more than 0 and less than 180"},
      {"remesh bad size",
       "triangle.obj",
       {"--remesh", "--size-expr", "x - 0.5"},
       2,
       "size field: the size at ("},
      {"remesh too many",
       "triangle.obj",
       {"--remesh", "--size", "1e-6"},
       2,
       "triangles expected, more than the limit of"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto output = path("out-" + std::string{c.name});
    std::vector<std::string> arguments{data(c.input), "-o", output};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    EXPECT_EQ(run(arguments), c.status);
    const std::string error = err_.str();
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1) << error;
    EXPECT_TRUE(out_.str().empty());
    EXPECT_FALSE(fs::exists(output)) << output;
  }
}

// Output paths that cannot be used are refused before anything is refined or made.
TEST_F(RefineCommand, BadOutputIsRefusedFirst) {
  const auto input = file("tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  fs::create_directories(path("folder.obj"));
  file("plain", "a file");
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string message;
  };
  for (const auto& c : std::vector<Case>{
           {"the input", {input, "-o", input}, "is the input file"},
           {"a directory",
            {input, "-o", path("folder.obj")},
            "is a directory, not a file"},
           {"a file as folder", {input, "-o", path("plain")}, "not a folder"},
           {"under a file", {input, "-o", path("plain") + "/x.obj"}, "is not a folder"},
           {"unwritable",
            {input, "-o", "/proc/vemra/out"},
            "cannot create the folder /proc/vemra"},
           {"picture twice",
            {input, "-o", path("o"), "--picture", path("o/model.obj")},
            "is written twice"}}) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run(c.arguments), 2);
    EXPECT_NE(err_.str().find(c.message), std::string::npos) << err_.str();
  }
  EXPECT_FALSE(fs::exists(path("o")));
  EXPECT_EQ(std::distance(fs::directory_iterator{folder_}, fs::directory_iterator{}), 3);
}

// Files that read as written: the refined model keeps their surfaces and names.
TEST_F(RefineCommand, GoodInputsKeepTheirSurfacesAndNames) {
  struct Case {
    const char* input;
    std::vector<std::string> names;  // of the written groups
    unsigned triangles;              // read
  };
  for (const auto& c :
       std::vector<Case>{{"named_groups.obj", {"west", "east"}, 4},
                         {"two_objects.ts", {"horizon", "horizon 2", "fault"}, 3},
                         {"colours.off", {"patch 0"}, 2},
                         {"signed_zero.stl", {"patch 0"}, 2}}) {
    SCOPED_TRACE(c.input);
    const auto output = path(std::string{c.input} + ".obj");
    ASSERT_EQ(run({data(c.input), "-o", output, "--size", "0.2", "--stats", "json"}), 0)
        << err_.str();
    EXPECT_NE(out_.str().find("\"triangles_before\": " + std::to_string(c.triangles)),
              std::string::npos)
        << out_.str();
    const auto back = read_soup(output);
    EXPECT_EQ(back.patch_names, c.names);
    EXPECT_GT(back.triangles.size(), c.triangles);
  }
}

// The formats of the field: TSurf and MSH written, TSurf read back as the same
// conforming surfaces.
TEST_F(RefineCommand, TSurfAndMshOutputs) {
  const auto input = data("two_objects.ts");
  ASSERT_EQ(run({input, "-o", path("out.ts"), "--size", "0.2", "--stats", "json"}), 0)
      << err_.str();
  const auto written = read_soup(path("out.ts"));
  EXPECT_EQ(written.patch_names,
            (std::vector<std::string>{"horizon", "horizon 2", "fault"}));
  ASSERT_EQ(run({path("out.ts"), "-o", path("again.obj"), "--size", "0.2"}), 0)
      << err_.str();
  EXPECT_NE(out_.str().find("surfaces, lines    3, 5"), std::string::npos) << out_.str();
  ASSERT_EQ(run({input, "-o", path("out.msh"), "--size", "0.2"}), 0) << err_.str();
  std::ifstream msh{path("out.msh")};
  std::string first, version;
  std::getline(msh, first);
  std::getline(msh, version);
  EXPECT_EQ(first, "$MeshFormat");
  EXPECT_EQ(version, "4.1 0 8");
}

// The appended arrays of a VTP file, each as its bytes: raw, or zlib blocks inflated.
std::vector<std::string> appended_arrays(const std::string& path, std::size_t count) {
  std::ifstream file{path, std::ios::binary};
  const std::string text{std::istreambuf_iterator<char>{file}, {}};
  const bool compressed = text.find("vtkZLibDataCompressor") != std::string::npos;
  const std::string start = "<AppendedData encoding=\"raw\">\n_";
  std::size_t at = text.find(start);
  if (at == std::string::npos) return {};
  at += start.size();
  const auto word = [&text, &at] {
    std::uint64_t value;
    std::memcpy(&value, text.data() + at, 8);
    at += 8;
    return value;
  };
  std::vector<std::string> arrays;
  for (std::size_t a = 0; a < count && at < text.size(); ++a) {
    if (!compressed) {
      const std::uint64_t size = word();
      arrays.push_back(text.substr(at, size));
      at += size;
      continue;
    }
    const std::uint64_t blocks = word(), block = word(), last = word();
    std::vector<std::uint64_t> sizes;
    for (std::uint64_t b = 0; b < blocks; ++b) sizes.push_back(word());
    std::string inflated;
    for (std::uint64_t b = 0; b < blocks; ++b) {
      std::string out(b + 1 == blocks ? last : block, '\0');
      uLongf size = out.size();
      EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                           reinterpret_cast<const Bytef*>(text.data() + at), sizes[b]),
                Z_OK);
      at += sizes[b];
      inflated += out.substr(0, size);
    }
    arrays.push_back(inflated);
  }
  return arrays;
}

TEST_F(RefineCommand, CompressedVtpHoldsTheSameArrays) {
  const auto input = data("named_groups.obj");
  ASSERT_EQ(run({input, "-o", path("raw.vtp"), "--size", "0.005"}), 0) << err_.str();
  ASSERT_EQ(run({input, "-o", path("zlib.vtp"), "--size", "0.005", "--compress"}), 0)
      << err_.str();
  const auto raw = appended_arrays(path("raw.vtp"), 5);
  EXPECT_GT(raw[0].size(), std::size_t{1} << 20);  // the points span several blocks
  EXPECT_EQ(appended_arrays(path("zlib.vtp"), 5), raw);
}

// A stop by the triangle limit or a failure leaves an earlier output as it was.
TEST_F(RefineCommand, AFailedRunLeavesTheEarlierOutput) {
  const auto input = data("triangle.obj");
  const auto output = path("kept");
  ASSERT_EQ(run({input, "-o", output, "--size", "0.2"}), 0) << err_.str();
  std::ifstream before_file{output + "/model.obj"};
  const std::string before{std::istreambuf_iterator<char>{before_file}, {}};
  EXPECT_EQ(run({input, "-o", output, "--size-expr", "x - 0.5"}), 2);
  std::ifstream after_file{output + "/model.obj"};
  const std::string after{std::istreambuf_iterator<char>{after_file}, {}};
  EXPECT_EQ(before, after);
  EXPECT_EQ(std::distance(fs::directory_iterator{output}, fs::directory_iterator{}), 4);
}

}  // namespace
}  // namespace vemra::tool
