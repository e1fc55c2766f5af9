#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "mesh_readers.h"

namespace vemra::tool {
namespace {

// One unit square as two triangles, in every format: the same points and triangles.
std::string binary_stl() {
  std::string content(80, ' ');
  const std::uint32_t count = 2;
  content.append(reinterpret_cast<const char*>(&count), 4);
  const float facets[2][9] = {{0, 0, 0, 1, 0, 0, 1, 1, 0}, {0, 0, 0, 1, 1, 0, 0, 1, 0}};
  for (const auto& facet : facets) {
    const float normal[3] = {0, 0, 1};
    content.append(reinterpret_cast<const char*>(normal), 12);
    content.append(reinterpret_cast<const char*>(facet), 36);
    content.append(2, '\0');
  }
  return content;
}

std::string binary_ply() {
  std::string content =
      "ply\nformat binary_little_endian 1.0\nelement vertex 4\nproperty float x\n"
      "property float y\nproperty float z\nelement face 1\n"
      "property list uchar int vertex_indices\nend_header\n";
  const float xyz[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  content.append(reinterpret_cast<const char*>(xyz), sizeof(xyz));
  const unsigned char size = 4;
  const std::int32_t quad[4] = {0, 1, 2, 3};
  content.append(reinterpret_cast<const char*>(&size), 1);
  content.append(reinterpret_cast<const char*>(quad), sizeof(quad));
  return content;
}

TEST(MeshReaders, EveryFormatReadsTheSameSquare) {
  struct Case {
    const char* format;
    std::string content;
  };
  for (const auto& c :
       {Case{"obj", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4\n"},
        Case{"obj",
             "# negative indices\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf -4/1 -3/2/1 "
             "-2//3 -1\n"},
        Case{"off", "OFF\n# a comment\n4 1 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n"},
        Case{
            "ply",
            "ply\nformat ascii 1.0\ncomment square\nelement vertex 4\nproperty double x\n"
            "property double y\nproperty double z\nelement face 1\n"
            "property list uchar int vertex_indices\nend_header\n"
            "0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n"},
        Case{"ply", binary_ply()},
        Case{"stl",
             "solid square\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
             "vertex 1 1 0\nendloop\nendfacet\nfacet normal 0 0 1\nouter loop\n"
             "vertex 0 0 0\nvertex 1 1 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid\n"},
        Case{"stl", binary_stl()}}) {
    SCOPED_TRACE(c.format);
    const auto soup = parse_soup(c.format, c.content, "square");
    ASSERT_EQ(soup.points.size(), 4u);
    ASSERT_EQ(soup.triangles.size(), 2u);
    EXPECT_EQ(soup.patches, (std::vector<index_t>{0, 0}));
    EXPECT_EQ(soup.points[2], (karvel::Point<3>{{1, 1, 0}}));
    EXPECT_EQ(soup.triangles[1], (std::array<index_t, 3>{0, 2, 3}));
  }
}

TEST(MeshReaders, ObjGroupsArePatches) {
  const auto soup = parse_soup(
      "obj",
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\ng a\nf 1 2 3\ng b c \nf 2 4 3\ng a\nf 1 3 2\n",
      "x");
  EXPECT_EQ(soup.patches, (std::vector<index_t>{0, 1, 0}));
  EXPECT_EQ(soup.patch_names, (std::vector<std::string>{"a", "b c"}));
}

// Faces of one object share points through atoms; objects meet where points coincide; a
// depth is turned into an elevation.
TEST(MeshReaders, TSurfFacesAtomsObjectsAndDepth) {
  const auto soup = read_soup(std::string{VEMRA_TOOL_TEST_DATA} + "/two_objects.ts");
  EXPECT_EQ(soup.patch_names,
            (std::vector<std::string>{"horizon", "horizon 2", "fault"}));
  EXPECT_EQ(soup.patches, (std::vector<index_t>{0, 1, 2}));
  ASSERT_EQ(soup.points.size(), 5u);  // 4 of the horizon, and the fault's third point
  EXPECT_EQ(soup.points[0], (karvel::Point<3>{{0, 0, -5}}));
  EXPECT_EQ(soup.triangles[1], (std::array<index_t, 3>{1, 3, 2}));
  EXPECT_EQ(soup.point_name(3), "vertex 13");
  EXPECT_EQ(soup.triangle_place(2), soup.name + ":32");
}

// Many atoms of one vertex: the map of vertex numbers grows while each is read (a fault
// the fuzzer found, which AddressSanitizer shows).
TEST(MeshReaders, TSurfAtomsWhileTheNumbersGrow) {
  std::string content = "GOCAD TSurf 1\nVRTX 1 0 0 0\nVRTX 2 1 0 0\nVRTX 3 0 1 0\n";
  for (int atom = 4; atom < 1000; ++atom) {
    content += "ATOM " + std::to_string(atom) + " " + std::to_string(1 + atom % 3) + "\n";
  }
  content += "TRGL 1 997 998\nEND\n";
  const auto soup = parse_soup("ts", content, "x");
  EXPECT_EQ(soup.points.size(), 3u);
  EXPECT_EQ(soup.triangles[0], (std::array<index_t, 3>{0, 1, 2}));
}

TEST(MeshReaders, MalformedInputNamesTheLineOrElement) {
  struct Case {
    const char* format;
    std::string content;
    const char* message;
  };
  for (const auto& c :
       {Case{"obj", "v 0 0\n", "x:1: a vertex line has 2 numbers"},
        Case{"obj", "v 0 0 0 2\n", "x:1: a vertex weight other than 1"},
        Case{"obj", "v 0 0 0\nf 1 1\n", "x:2: a face needs at least three vertices"},
        Case{"obj", "v 0 0 0\nf 1 a 1\n", "x:2: 'a' is not an integer"},
        Case{"off", "OFF\n1 1 0\n0 0 0\n3 0 0 7\n",
             "x:4: vertex index 7 is out of range"},
        Case{"off", "OFF\n1 1 0\n0 0 0\n\n\n3 0 0 x\n", "x:6: 'x' is not an integer"},
        Case{"off", "OFF\n1 0 0\n0 0 0 1\n", "x:3: a vertex line has 4 numbers"},
        Case{"off", "NOFF\n", "x:1: expected 'OFF'"},
        Case{"ply",
             "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float "
             "y\n"
             "property float z\nelement face 0\nproperty list uchar int vertex_indices\n"
             "end_header\nq 0 0\n",
             "x: vertex 1: 'q' is not a number"},
        Case{"ply",
             "ply\nformat binary_big_endian 1.0\nelement vertex 2\nproperty float x\n"
             "property float y\nproperty float z\nelement face 0\n"
             "property list uchar int vertex_indices\nend_header\n\x01\x02",
             "x: vertex 1: the file ends early"},
        Case{"ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty quaternion q\n",
             "x:4: unknown PLY type 'quaternion'"},
        Case{"ply",
             "ply\nformat ascii 1.0\nelement face 0\nproperty list uchar int "
             "vertex_indices\nelement vertex 0\nproperty float x\nproperty float y\n"
             "property float z\nend_header\n",
             "element 'face': faces before the vertices"},
        Case{"stl", "solid s\nvertex 0 0 0\nvertex 1 0 0\nendloop\n",
             "x:2: a vertex outside a facet"},
        Case{"stl", "solid s\nfacet\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nendloop\n",
             "x:6: a facet has 2 vertices, not 3"},
        Case{"stl", "hello", "x:1: expected 'solid'"},
        Case{"ts", "GOCAD TSurf 1\nVRTX 1 0 0 0\nTRGL 1 2 3\nEND\n",
             "x:3: vertex 2 is not given in this object"},
        Case{"ts", "GOCAD TSurf 1\nVRTX 1 0 0 0\nVRTX 1 1 0 0\n",
             "x:3: vertex 1 is given twice"},
        Case{"ts", "GOCAD TSurf 1\nSEG 1 2\n", "x:2: unknown TSurf line 'SEG'"},
        Case{"ts", "GOCAD TSurf 1\nVRTX 1 0 0 0\n", "the file ends before the END"},
        Case{"ts", "GOCAD PLine 1\n", "x:1: not a TSurf object"},
        Case{"ts", "VRTX 1 0 0 0\n", "x:1: 'VRTX' outside a GOCAD TSurf object"}}) {
    SCOPED_TRACE(c.message);
    try {
      parse_soup(c.format, c.content, "x");
      FAIL() << "no exception";
    } catch (const InputError& error) {
      EXPECT_NE(std::string{error.what()}.find(c.message), std::string::npos)
          << error.what();
    }
  }
}

}  // namespace
}  // namespace vemra::tool
