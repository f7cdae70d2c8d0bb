#include <gtest/gtest.h>

#include "DescriptionTag.h"

TEST(Codec, Smoke) {
  CDescriptionTag tag;
  EXPECT_TRUE(tag.Build("Office monitor"));
  EXPECT_EQ(tag.m_cbTag, 90u + 15u);
}
