#include "numerics/arrays.hpp"

#include <gtest/gtest.h>

#include <climits>

#include "tests/support.hpp"

using namespace wind;

TEST(Arrays, VectorIsAddressedByItsOwnBounds) {
  Vector v = vector(1, 8);
  EXPECT_EQ(v.size(), 8);
  for (int i = 1; i <= 8; ++i) v[i] = 2.5f * static_cast<float>(i);
  EXPECT_EQ(&v[1], v.data());
  EXPECT_EQ(&v[8] - &v[1], 7);
  EXPECT_FLOAT_EQ(v[8], 20.0f);
  v.reset();
  EXPECT_EQ(v.data(), nullptr);

  EXPECT_EQ(vector(0, 6).size(), vector(1, 7).size());
  Vector neg = vector(-3, 2);
  neg[-3] = 1.0f;
  EXPECT_EQ(&neg[2] - &neg[-3], 5);
}

TEST(Arrays, MatrixAndF3tensorAreContiguousLastIndexFastest) {
  Matrix m = matrix(1, 2, 1, 3);
  EXPECT_EQ(&m[2][1], &m[1][3] + 1);
  EXPECT_EQ(&m(2, 1), &m[2][1]);
  EXPECT_EQ(&m[1][1], m.data());

  Matrix oneRow = matrix(4, 4, 0, 2);
  EXPECT_EQ(&oneRow[4][2] - oneRow.data(), 2);
  Matrix oneCol = matrix(0, 3, 5, 5);
  EXPECT_EQ(&oneCol[3][5] - &oneCol[0][5], 3);

  F3tensor t = f3tensor(1, 2, 1, 2, 1, 4);
  EXPECT_EQ(&t[1][2][1] - &t[1][1][1], 4);
  EXPECT_EQ(&t[2][1][1] - &t[1][1][1], 8);
  EXPECT_EQ(&t(2, 2, 4) - t.data(), 15);
  EXPECT_EQ(t.offset(2, 1, 3), 10);

  F3tensor z = f3tensor(0, 1, -1, 0, 3, 4);
  EXPECT_EQ(&z[1][0][4] - &z[0][-1][3], 7);
}

TEST(Arrays, ValueTypeArraysStartAtZero) {
  VMatrix vm = vmatrix(0, 2, 0, 3);
  V2Vector pv = v2vector(0, 4);
  MMatrix mm = mmatrix(1, 2, 1, 2);
  for (int i = 0; i <= 2; ++i)
    for (int j = 0; j <= 3; ++j) EXPECT_EQ(vm[i][j], Vector3());
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(pv[i], Pair2());
  for (int i = 1; i <= 2; ++i)
    for (int j = 1; j <= 2; ++j) EXPECT_EQ(mm[i][j], Mat3());
}

TEST(Arrays, MovingTransfersOwnership) {
  Vector a = vector(1, 3);
  a[2] = 7.0f;
  float* p = a.data();
  Vector b = std::move(a);
  EXPECT_EQ(b.data(), p);
  EXPECT_EQ(b[2], 7.0f);
  EXPECT_EQ(a.data(), nullptr);  // NOLINT(bugprone-use-after-move)
}

TEST(Arrays, ImpossibleSizesEndWithTheKindsMessage) {
  using wind::testing::fatalMessage;
  // 2^31 x 2^31 x 2^31 floats overflow 64-bit byte counts: no wrap, no crash.
  EXPECT_EQ(fatalMessage([] { f3tensor(0, INT_MAX - 1, 0, INT_MAX - 1, 0, INT_MAX - 1); }),
            "allocation failure 3 in f3tensor()");
  // Larger than any heap can give.
  EXPECT_EQ(fatalMessage([] { matrix(1, INT_MAX, 1, INT_MAX); }),
            "allocation failure 2 in matrix()");
  // Negative ranges: the message names the dimension that is wrong.
  EXPECT_EQ(fatalMessage([] { vector(5, 1); }), "allocation failure in vector()");
  EXPECT_EQ(fatalMessage([] { mmatrix(3, 0, 1, 2); }), "allocation failure 1 in mmatrix()");
  EXPECT_EQ(fatalMessage([] { vmatrix(0, 2, 4, 2); }), "allocation failure 2 in vmatrix()");
  EXPECT_EQ(fatalMessage([] { f3tensor(2, 0, 1, 2, 1, 2); }), "allocation failure 1 in f3tensor()");
  EXPECT_EQ(fatalMessage([] { f3tensor(1, 2, 3, 1, 1, 2); }), "allocation failure 2 in f3tensor()");
  EXPECT_EQ(fatalMessage([] { f3tensor(1, 2, 1, 2, 4, 1); }), "allocation failure 3 in f3tensor()");
}

TEST(Arrays, SpansCoverTheWholeBlockInStorageOrder) {
  Vector v = vector(-2, 4);
  EXPECT_EQ(v.span().data(), &v[-2]);
  EXPECT_EQ(v.span().size(), 7u);
  Matrix m = matrix(1, 3, 0, 4);
  EXPECT_EQ(m.span().size(), 15u);
  EXPECT_EQ(m.rowSpan(2).data(), &m[2][0]);
  EXPECT_EQ(m.rowSpan(2).size(), 5u);
  m.rowSpan(3)[4] = 2.385f;
  EXPECT_EQ(m[3][4], 2.385f);
  EXPECT_EQ(&m.span().back(), &m[3][4]);
  const F3tensor t = f3tensor(1, 2, 1, 3, 0, 1);
  EXPECT_EQ(t.span().size(), 12u);
  EXPECT_EQ(&t.span()[7], &t[2][1][1]);
  EXPECT_TRUE(Vector().span().empty());
}

TEST(Arrays, ViewsAreAddressedAsOwnersAndReleaseNothing) {
  // Two 2 x 3 x 4 tensors in one owner's block, one after the other.
  Vector storage = vector(0, 47);
  F3tensor first = f3tensor(1, 2, 1, 3, 1, 4, storage.data());
  F3tensor second = f3tensor(1, 2, 1, 3, 1, 4, storage.data() + 24);
  EXPECT_FALSE(first.ownsBlock());
  EXPECT_TRUE(storage.ownsBlock());
  EXPECT_EQ(first.size(), 24);
  EXPECT_EQ(&second[1][1][1], &storage[24]);
  second(2, 3, 4) = 1.5f;
  EXPECT_EQ(storage[47], 1.5f);
  EXPECT_EQ(first.offset(2, 1, 3), f3tensor(1, 2, 1, 3, 1, 4).offset(2, 1, 3));
  Matrix m = matrix(0, 1, 0, 2, storage.data() + 6);
  EXPECT_EQ(&m[1][2], &storage[11]);
  // Moved, reset or taken, a view frees nothing (the owner's block stays
  // good; ASan would see a double free) and hands nothing out.
  F3tensor moved = std::move(first);
  EXPECT_FALSE(moved.ownsBlock());
  EXPECT_EQ(moved.takeBlock(), nullptr);
  EXPECT_EQ(moved.size(), 0);
  second.reset();
  m = matrix(0, 1, 0, 1);  // an owner again, once assigned one
  EXPECT_TRUE(m.ownsBlock());
  EXPECT_EQ(storage[47], 1.5f);
  // A bad range is refused as the owner's would be.
  EXPECT_EQ(wind::testing::fatalMessage([&] { vector(3, 1, storage.data()); }),
            "allocation failure in vector()");
}
