#include "http/mime_type_map.h"

#include <gtest/gtest.h>

namespace {

TEST(MimeTypeMapTest, LaterRowsReplaceEarlierOnes) {
  const MimeTypeMap types;
  EXPECT_EQ(types.Size(), 69u);
  EXPECT_EQ(types.ContentTypeFor("/doc.rtf"), "text/richtext");
  EXPECT_EQ(types.ContentTypeFor("/archive.arj"), "application/x-compressed");
}

TEST(MimeTypeMapTest, ExtensionIsTheTextAfterTheLastDotInAnyCase) {
  const MimeTypeMap types;
  EXPECT_EQ(types.ContentTypeFor("/readme.TXT"), "text/plain");
  EXPECT_EQ(types.ContentTypeFor("/Photo.JPG"), "image/jpeg");
  EXPECT_EQ(types.ContentTypeFor("/x.tar.gz"), "application/x-gzip");
  EXPECT_EQ(types.ContentTypeFor("/pics/a.TiFf"), "image/tiff");
  EXPECT_EQ(types.ContentTypeFor("/site.WCGI"), "wwwserver/isapi");
}

TEST(MimeTypeMapTest, UnknownOrMissingExtensionsAreHtml) {
  const MimeTypeMap types;
  EXPECT_EQ(types.ContentTypeFor("/dir.old/page"), "text/html");
  EXPECT_EQ(types.ContentTypeFor("/notes"), "text/html");
  EXPECT_EQ(types.ContentTypeFor("/a.xyz"), "text/html");
  EXPECT_EQ(types.ContentTypeFor("/trailing."), "text/html");
  EXPECT_EQ(types.ContentTypeFor("/a.txtx"), "text/html");
  EXPECT_EQ(types.ContentTypeFor("/a.tx"), "text/html");
  EXPECT_EQ(types.ContentTypeFor(""), "text/html");
}

}  // namespace
