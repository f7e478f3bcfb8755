#include "numerics/small_types.hpp"

#include <gtest/gtest.h>

using namespace wind;

TEST(SmallTypes, DefaultsAreZero) {
  EXPECT_EQ(Vector3(), Vector3(0, 0, 0));
  EXPECT_EQ(Pair2(), Pair2(0, 0));
  EXPECT_EQ(Mat3(), Mat3(0, 0, 0, 0, 0, 0, 0, 0, 0));
  const Mat2 m2;
  EXPECT_EQ(m2[0], Pair2());
  EXPECT_EQ(m2[1], Pair2());
}

TEST(SmallTypes, VectorOperationsAreComponentWise) {
  EXPECT_EQ(Vector3(2) * Vector3(1, 2, 3), Vector3(2, 4, 6));
  EXPECT_EQ(Vector3(2, 4, 6) / Vector3(2, 4, 3), Vector3(1, 1, 2));
  Vector3 a(1.5f, -2.0f, 0.25f);
  a += Vector3(0.5f, 2.0f, 0.75f);
  EXPECT_EQ(a, Vector3(2, 0, 1));
  EXPECT_EQ(dot(Vector3(1, 2, 3), Vector3(4, -5, 6)), 12.0f);
}

TEST(SmallTypes, DotIsRoundedOnceFromDouble) {
  // 1 + 2^-24 + 2^-24: each partial sum rounded to float would lose both halves.
  const float e = 1.0f / 16777216.0f;
  EXPECT_EQ(dot(Vector3(1, e, e), Vector3(1, 1, 1)), 1.0f + 2 * e);
}

TEST(SmallTypes, Mat3ProductAndScaling) {
  const Mat3 id(1, 0, 0, 0, 1, 0, 0, 0, 1);
  const Mat3 p(2.385f, -1, 0.5f, 3, 4.25f, -6, 7, 8, 9.5f);
  EXPECT_EQ(id * p, p);
  EXPECT_EQ(p * id, p);
  const Mat3 q(1, 2, 0, 0, 1, 0, 0, 0, 2);
  EXPECT_EQ(Mat3(1, 1, 0, 0, 1, 0, 0, 0, 1) * q, Mat3(1, 3, 0, 0, 1, 0, 0, 0, 2));
  EXPECT_EQ(2.0f * q, Mat3(2, 4, 0, 0, 2, 0, 0, 0, 4));
  EXPECT_EQ(p[1], Vector3(3, 4.25f, -6));
  EXPECT_EQ(at(p, 2, 1), 8.0f);
  EXPECT_EQ(transpose(p), Mat3(2.385f, 3, 7, -1, 4.25f, 8, 0.5f, -6, 9.5f));
}

TEST(SmallTypes, PairOperations) {
  EXPECT_EQ(Pair2(3, 4).length(), 5.0f);
  EXPECT_EQ(Pair2(3, 4) - Pair2(1, 6), Pair2(2, -2));
  EXPECT_EQ(Pair2(3, 4) * Pair2(2, 0.5f), Pair2(6, 2));
  const Mat2 m(Pair2(1, 2), Pair2(3, 4));
  const Mat2 s = 3.0f * m;
  EXPECT_EQ(s[0], Pair2(3, 6));
  EXPECT_EQ(s[1], Pair2(9, 12));
}
