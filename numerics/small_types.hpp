#pragma once
// Small value types of single-precision floats: wave vectors, box lengths,
// spectral matrices and the vectors and matrices of the terrain files.
//
// All four are plain values with no heap storage, passed by value. A default
// constructed value is all zeros (so fresh arrays of them read as zeros).
// Every operation is evaluated in double precision and rounded to float once,
// when the result is stored into a component.

#include <cmath>

namespace wind {

struct Vector3 {
  float x = 0.0f, y = 0.0f, z = 0.0f;

  constexpr Vector3() = default;
  constexpr explicit Vector3(float s) : x(s), y(s), z(s) {}
  constexpr Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

  Vector3& operator+=(const Vector3& b) {
    x = static_cast<float>(double(x) + double(b.x));
    y = static_cast<float>(double(y) + double(b.y));
    z = static_cast<float>(double(z) + double(b.z));
    return *this;
  }
};

// Component-wise product (scaling by a real number is the product with a splat).
inline Vector3 operator*(const Vector3& a, const Vector3& b) {
  return {static_cast<float>(double(a.x) * b.x), static_cast<float>(double(a.y) * b.y),
          static_cast<float>(double(a.z) * b.z)};
}

// Component-wise quotient.
inline Vector3 operator/(const Vector3& a, const Vector3& b) {
  return {static_cast<float>(double(a.x) / b.x), static_cast<float>(double(a.y) / b.y),
          static_cast<float>(double(a.z) / b.z)};
}

// x x' + y y' + z z', summed in double and rounded once.
inline float dot(const Vector3& a, const Vector3& b) {
  return static_cast<float>(double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z);
}

inline bool operator==(const Vector3& a, const Vector3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

struct Mat3 {
  Vector3 row[3];

  constexpr Mat3() = default;
  constexpr Mat3(const Vector3& r0, const Vector3& r1, const Vector3& r2) : row{r0, r1, r2} {}
  constexpr Mat3(float a00, float a01, float a02, float a10, float a11, float a12, float a20,
                 float a21, float a22)
      : row{{a00, a01, a02}, {a10, a11, a12}, {a20, a21, a22}} {}

  Vector3& operator[](int i) { return row[i]; }
  const Vector3& operator[](int i) const { return row[i]; }
};

// Element (i, j) as a float, for code that walks a matrix by two indices.
inline float& at(Mat3& m, int i, int j) {
  Vector3& r = m.row[i];
  return j == 0 ? r.x : (j == 1 ? r.y : r.z);
}
inline float at(const Mat3& m, int i, int j) {
  const Vector3& r = m.row[i];
  return j == 0 ? r.x : (j == 1 ? r.y : r.z);
}

// Scalar times matrix: each row times the splat Vector3(s).
inline Mat3 operator*(float s, const Mat3& m) {
  const Vector3 sv(s);
  return {sv * m.row[0], sv * m.row[1], sv * m.row[2]};
}

// Matrix product, element (i, j) = sum over l of P[i][l] Q[l][j], in double:
// summed from 0.0 in the order l = 0, 1, 2 and rounded once. Written out
// element by element (the index loops over at() cost several times the
// arithmetic in the amplitudes' inner loops).
inline Mat3 operator*(const Mat3& p, const Mat3& q) {
  const auto element = [](const Vector3& row, float q0, float q1, float q2) {
    double s = 0.0;
    s += double(row.x) * double(q0);
    s += double(row.y) * double(q1);
    s += double(row.z) * double(q2);
    return static_cast<float>(s);
  };
  const Vector3 &q0 = q.row[0], &q1 = q.row[1], &q2 = q.row[2];
  Mat3 r;
  for (int i = 0; i < 3; ++i)
    r.row[i] = Vector3(element(p.row[i], q0.x, q1.x, q2.x), element(p.row[i], q0.y, q1.y, q2.y),
                       element(p.row[i], q0.z, q1.z, q2.z));
  return r;
}

// The transpose (exact: no arithmetic).
inline Mat3 transpose(const Mat3& m) {
  return {m.row[0].x, m.row[1].x, m.row[2].x,  //
          m.row[0].y, m.row[1].y, m.row[2].y,  //
          m.row[0].z, m.row[1].z, m.row[2].z};
}

inline bool operator==(const Mat3& a, const Mat3& b) {
  return a.row[0] == b.row[0] && a.row[1] == b.row[1] && a.row[2] == b.row[2];
}

struct Pair2 {
  float first = 0.0f, second = 0.0f;

  constexpr Pair2() = default;
  constexpr explicit Pair2(float s) : first(s), second(s) {}
  constexpr Pair2(float a, float b) : first(a), second(b) {}

  // sqrt(first^2 + second^2)
  float length() const {
    return static_cast<float>(std::sqrt(double(first) * first + double(second) * second));
  }
};

inline Pair2 operator-(const Pair2& a, const Pair2& b) {
  return {static_cast<float>(double(a.first) - b.first),
          static_cast<float>(double(a.second) - b.second)};
}

// Component-wise product (not a complex product).
inline Pair2 operator*(const Pair2& a, const Pair2& b) {
  return {static_cast<float>(double(a.first) * b.first),
          static_cast<float>(double(a.second) * b.second)};
}

inline bool operator==(const Pair2& a, const Pair2& b) {
  return a.first == b.first && a.second == b.second;
}

struct Mat2 {
  Pair2 row[2];

  constexpr Mat2() = default;
  constexpr Mat2(const Pair2& r0, const Pair2& r1) : row{r0, r1} {}

  Pair2& operator[](int i) { return row[i]; }
  const Pair2& operator[](int i) const { return row[i]; }
};

// Scalar times matrix: each row times the splat Pair2(s).
inline Mat2 operator*(float s, const Mat2& m) {
  const Pair2 sp(s);
  return {sp * m.row[0], sp * m.row[1]};
}

}  // namespace wind
