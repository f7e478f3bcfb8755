#pragma once
// Index-ranged arrays: the caller names the lowest and highest valid index of
// each dimension and then addresses the array directly with those indices, so
// 1-based arrays (wind fields, spline and eigen routines) and 0-based arrays
// (terrain data and its tables) share one set of allocators.
//
//   vector(nl, nh)                        Array1<float>,   v[i],        nl <= i <= nh
//   matrix(nrl, nrh, ncl, nch)            Array2<float>,   m[i][j] or m(i, j)
//   f3tensor(nrl, nrh, ncl, nch, ndl, ndh) Array3<float>,  t[i][j][k] or t(i, j, k)
//   vmatrix(nrl, nrh, ncl, nch)           Array2<Vector3>
//   v2vector(nl, nh)                      Array1<Pair2>
//   mmatrix(nrl, nrh, ncl, nch)           Array2<Mat3>
//
// Layout: the elements of every array lie in one contiguous block, row-major
// with the last index fastest. Element (i, j) of a matrix is block slot
// (i - nrl) * ncol + (j - ncl); element (i, j, k) of an f3tensor is slot
// ((i - nrl) * ncol + (j - ncl)) * ndep + (k - ndl). data() is the first element,
// so the three-dimensional FFT can treat a field as one flat array; span() hands
// out the whole block (a matrix's rowSpan(i) one row) for the routines that
// take std::span.
//
// The arrays are move-only RAII owners: the block is released when the array
// goes out of scope or when reset() is called. An array may instead be a view
// of storage that another array owns (the storage argument of vector, matrix
// and f3tensor: several arrays' blocks in one allocation), addressed exactly
// as an owner is; a view releases nothing, and takeBlock() gives nothing.
// No pointer before the block is ever formed; indices are offset as
// base[i - lo] in 64-bit arithmetic.
//
// Initial contents: every element starts at zero (float arrays are taken zeroed
// from the heap at no cost; the value types are value-initialised to zero).
// Callers of vector, matrix and f3tensor should still write before they read.
//
// Failure: a range whose size is negative, overflows 64-bit arithmetic, or that
// the heap cannot give ends the run through fatalError with the allocation
// failure message of that array kind ("allocation failure in vector()",
// "allocation failure 2 in matrix()", "allocation failure 3 in f3tensor()", ...);
// message 1 of a kind names a bad row (plane) range, 2 of an f3tensor a bad
// column range, and the last number the element block.
//
// Index checks: with WIND_BOUNDS_CHECK defined (debug and sanitizer builds) every
// access is checked and an index outside its range aborts with a report; in
// release builds access is plain pointer arithmetic.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>
#include <utility>

#include "numerics/small_types.hpp"
#include "support/fatal_error.hpp"

namespace wind {

namespace detail {

// Number of elements in lo..hi, or -1 if the range is negative (hi < lo - 1).
inline std::int64_t rangeCount(int lo, int hi) {
  const std::int64_t n = std::int64_t(hi) - std::int64_t(lo) + 1;
  return n < 0 ? -1 : n;
}

// Zeroed heap block of count elements of elemSize bytes; fatalError(failMessage)
// if count is negative, the byte size overflows, or the heap cannot give it.
// A count of zero returns nullptr.
void* allocateBlock(std::int64_t count, std::size_t elemSize, const char* failMessage);
void releaseBlock(void* block) noexcept;

// n1 * n2 in 64-bit arithmetic, or -1 on overflow or a negative factor.
std::int64_t checkedProduct(std::int64_t n1, std::int64_t n2);

[[noreturn]] void indexOutOfRange(std::int64_t index, int lo, int hi);

inline void checkIndex([[maybe_unused]] int i, [[maybe_unused]] int lo, [[maybe_unused]] int hi) {
#ifdef WIND_BOUNDS_CHECK
  if (i < lo || i > hi) indexOutOfRange(i, lo, hi);
#endif
}

template <class T>
T* allocateElements(std::int64_t count, const char* failMessage) {
  static_assert(std::is_trivially_destructible_v<T>, "index-ranged arrays hold plain values");
  T* p = static_cast<T*>(allocateBlock(count, sizeof(T), failMessage));
  if constexpr (!std::is_arithmetic_v<T>)
    for (std::int64_t i = 0; i < count; ++i) ::new (static_cast<void*>(p + i)) T();
  return p;
}

// Owner of one block; the array classes below add the addressing.
template <class T>
class Block {
 public:
  Block() = default;
  Block(std::int64_t count, const char* failMessage)
      : p_(allocateElements<T>(count, failMessage)), n_(count) {}
  // count elements from storage, owned elsewhere (count of -1: a bad range).
  Block(T* storage, std::int64_t count, const char* failMessage)
      : p_(storage), n_(count), owned_(false) {
    if (count < 0 || (count > 0 && storage == nullptr)) fatalError(failMessage);
  }
  Block(Block&& o) noexcept
      : p_(std::exchange(o.p_, nullptr)), n_(std::exchange(o.n_, 0)),
        owned_(std::exchange(o.owned_, true)) {}
  Block& operator=(Block&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = std::exchange(o.p_, nullptr);
      n_ = std::exchange(o.n_, 0);
      owned_ = std::exchange(o.owned_, true);
    }
    return *this;
  }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  ~Block() { reset(); }

  void reset() noexcept {
    if (owned_) releaseBlock(p_);
    p_ = nullptr;
    n_ = 0;
    owned_ = true;
  }
  // The block, no longer owned here; nullptr for a view (which is emptied).
  T* release() noexcept {
    T* p = owned_ ? p_ : nullptr;
    p_ = nullptr;
    n_ = 0;
    owned_ = true;
    return p;
  }
  bool owned() const noexcept { return owned_; }
  T* get() const noexcept { return p_; }
  std::int64_t count() const noexcept { return n_; }
  std::span<T> span() const noexcept { return {p_, static_cast<std::size_t>(n_)}; }

 private:
  T* p_ = nullptr;
  std::int64_t n_ = 0;
  bool owned_ = true;
};

// Frees a block taken out of an array (BlockArray::takeBlock).
struct BlockDeleter {
  void operator()(void* block) const noexcept { releaseBlock(block); }
};

// What every index-ranged array has: its one block of elements, contiguous in
// storage order (last index fastest), and its release. The arrays below add
// their ranges and addressing.
template <class T>
class BlockArray {
 public:
  std::int64_t size() const { return b_.count(); }
  T* data() { return b_.get(); }
  const T* data() const { return b_.get(); }
  // The whole block in storage order.
  std::span<T> span() { return b_.span(); }
  std::span<const T> span() const { return b_.span(); }
  void reset() { b_.reset(); }
  // False for a view of another array's storage.
  bool ownsBlock() const { return b_.owned(); }
  // The block taken out, with no copy: the caller owns its size() elements,
  // and the array is left empty. A view gives nothing (and is left empty).
  std::unique_ptr<T[], BlockDeleter> takeBlock() {
    return std::unique_ptr<T[], BlockDeleter>(b_.release());
  }

 protected:
  BlockArray() = default;
  BlockArray(std::int64_t count, const char* failMessage) : b_(count, failMessage) {}
  // Owned when storage is nullptr, else a view of count elements from storage.
  static Block<T> blockOf(T* storage, std::int64_t count, const char* failMessage) {
    return storage == nullptr ? Block<T>(count, failMessage) : Block<T>(storage, count, failMessage);
  }
  Block<T> b_;
};

}  // namespace detail

// A view of one row: r[j] for lo <= j <= hi.
template <class T>
class RowRef {
 public:
  RowRef(T* first, int lo, int hi) : p_(first), lo_(lo), hi_(hi) {}
  T& operator[](int j) const {
    detail::checkIndex(j, lo_, hi_);
    return p_[std::int64_t(j) - lo_];
  }
  T* data() const { return p_; }  // element lo
  int lo() const { return lo_; }
  int hi() const { return hi_; }

 private:
  T* p_;
  int lo_, hi_;
};

template <class T>
class Array1 : public detail::BlockArray<T> {
  using detail::BlockArray<T>::b_;

 public:
  Array1() = default;
  Array1(int lo, int hi, const char* failMessage, T* storage = nullptr) : lo_(lo), hi_(hi) {
    b_ = this->blockOf(storage, detail::rangeCount(lo, hi), failMessage);
  }

  T& operator[](int i) {
    detail::checkIndex(i, lo_, hi_);
    return b_.get()[std::int64_t(i) - lo_];
  }
  const T& operator[](int i) const {
    detail::checkIndex(i, lo_, hi_);
    return b_.get()[std::int64_t(i) - lo_];
  }

  int lo() const { return lo_; }
  int hi() const { return hi_; }
  T* begin() { return b_.get(); }
  T* end() { return b_.get() + b_.count(); }
  const T* begin() const { return b_.get(); }
  const T* end() const { return b_.get() + b_.count(); }

 private:
  int lo_ = 0, hi_ = -1;
};

template <class T>
class Array2 : public detail::BlockArray<T> {
  using detail::BlockArray<T>::b_;

 public:
  Array2() = default;
  Array2(int rlo, int rhi, int clo, int chi, const char* rowMessage, const char* elemMessage,
         T* storage = nullptr)
      : rlo_(rlo), rhi_(rhi), clo_(clo), chi_(chi) {
    const std::int64_t nrow = detail::rangeCount(rlo, rhi);
    if (nrow < 0) fatalError(rowMessage);
    ncol_ = detail::rangeCount(clo, chi);
    b_ = this->blockOf(storage, detail::checkedProduct(nrow, ncol_), elemMessage);
  }

  RowRef<T> operator[](int i) { return RowRef<T>(row(i), clo_, chi_); }
  RowRef<const T> operator[](int i) const { return RowRef<const T>(row(i), clo_, chi_); }
  T& operator()(int i, int j) {
    detail::checkIndex(j, clo_, chi_);
    return row(i)[std::int64_t(j) - clo_];
  }
  const T& operator()(int i, int j) const {
    detail::checkIndex(j, clo_, chi_);
    return row(i)[std::int64_t(j) - clo_];
  }
  // First element (column clo) of row i.
  T* row(int i) {
    detail::checkIndex(i, rlo_, rhi_);
    return b_.get() + (std::int64_t(i) - rlo_) * ncol_;
  }
  const T* row(int i) const {
    detail::checkIndex(i, rlo_, rhi_);
    return b_.get() + (std::int64_t(i) - rlo_) * ncol_;
  }
  // Row i, columns clo .. chi, as a span.
  std::span<T> rowSpan(int i) { return {row(i), static_cast<std::size_t>(ncol_)}; }
  std::span<const T> rowSpan(int i) const { return {row(i), static_cast<std::size_t>(ncol_)}; }

  int rowLo() const { return rlo_; }
  int rowHi() const { return rhi_; }
  int colLo() const { return clo_; }
  int colHi() const { return chi_; }

 private:
  int rlo_ = 0, rhi_ = -1, clo_ = 0, chi_ = -1;
  std::int64_t ncol_ = 0;
};

template <class T>
class Array3 : public detail::BlockArray<T> {
  using detail::BlockArray<T>::b_;

 public:
  // A view of one plane i: p[j][k].
  template <class U>
  class PlaneRef {
   public:
    PlaneRef(U* first, int clo, int chi, int dlo, int dhi, std::int64_t ndep)
        : p_(first), clo_(clo), chi_(chi), dlo_(dlo), dhi_(dhi), ndep_(ndep) {}
    RowRef<U> operator[](int j) const {
      detail::checkIndex(j, clo_, chi_);
      return RowRef<U>(p_ + (std::int64_t(j) - clo_) * ndep_, dlo_, dhi_);
    }

   private:
    U* p_;
    int clo_, chi_, dlo_, dhi_;
    std::int64_t ndep_;
  };

  Array3() = default;
  Array3(int rlo, int rhi, int clo, int chi, int dlo, int dhi, T* storage = nullptr)
      : rlo_(rlo), rhi_(rhi), clo_(clo), chi_(chi), dlo_(dlo), dhi_(dhi) {
    const std::int64_t nrow = detail::rangeCount(rlo, rhi);
    if (nrow < 0) fatalError("allocation failure 1 in f3tensor()");
    ncol_ = detail::rangeCount(clo, chi);
    if (ncol_ < 0) fatalError("allocation failure 2 in f3tensor()");
    ndep_ = detail::rangeCount(dlo, dhi);
    b_ = this->blockOf(storage,
                       detail::checkedProduct(detail::checkedProduct(nrow, ncol_), ndep_),
                       "allocation failure 3 in f3tensor()");
  }

  PlaneRef<T> operator[](int i) {
    return PlaneRef<T>(plane(i), clo_, chi_, dlo_, dhi_, ndep_);
  }
  PlaneRef<const T> operator[](int i) const {
    return PlaneRef<const T>(plane(i), clo_, chi_, dlo_, dhi_, ndep_);
  }
  T& operator()(int i, int j, int k) { return b_.get()[offset(i, j, k)]; }
  const T& operator()(int i, int j, int k) const { return b_.get()[offset(i, j, k)]; }

  // Flat offset of element (i, j, k) from data().
  std::int64_t offset(int i, int j, int k) const {
    detail::checkIndex(i, rlo_, rhi_);
    detail::checkIndex(j, clo_, chi_);
    detail::checkIndex(k, dlo_, dhi_);
    return ((std::int64_t(i) - rlo_) * ncol_ + (std::int64_t(j) - clo_)) * ndep_ +
           (std::int64_t(k) - dlo_);
  }

  int rowLo() const { return rlo_; }
  int rowHi() const { return rhi_; }
  int colLo() const { return clo_; }
  int colHi() const { return chi_; }
  int depLo() const { return dlo_; }
  int depHi() const { return dhi_; }

 private:
  T* plane(int i) const {
    detail::checkIndex(i, rlo_, rhi_);
    return b_.get() + (std::int64_t(i) - rlo_) * ncol_ * ndep_;
  }

  int rlo_ = 0, rhi_ = -1, clo_ = 0, chi_ = -1, dlo_ = 0, dhi_ = -1;
  std::int64_t ncol_ = 0, ndep_ = 0;
};

using Vector = Array1<float>;
using Matrix = Array2<float>;
using F3tensor = Array3<float>;
using VMatrix = Array2<Vector3>;
using V2Vector = Array1<Pair2>;
using MMatrix = Array2<Mat3>;

// With storage, a view of the array's size() floats from storage on.
inline Vector vector(int nl, int nh, float* storage = nullptr) {
  return Vector(nl, nh, "allocation failure in vector()", storage);
}
inline Matrix matrix(int nrl, int nrh, int ncl, int nch, float* storage = nullptr) {
  return Matrix(nrl, nrh, ncl, nch, "allocation failure 1 in matrix()",
                "allocation failure 2 in matrix()", storage);
}
inline F3tensor f3tensor(int nrl, int nrh, int ncl, int nch, int ndl, int ndh,
                         float* storage = nullptr) {
  return F3tensor(nrl, nrh, ncl, nch, ndl, ndh, storage);
}
inline VMatrix vmatrix(int nrl, int nrh, int ncl, int nch) {
  return VMatrix(nrl, nrh, ncl, nch, "allocation failure 1 in vmatrix()",
                 "allocation failure 2 in vmatrix()");
}
inline V2Vector v2vector(int nl, int nh) {
  return V2Vector(nl, nh, "allocation failure in v2vector()");
}
inline MMatrix mmatrix(int nrl, int nrh, int ncl, int nch) {
  return MMatrix(nrl, nrh, ncl, nch, "allocation failure 1 in mmatrix()",
                 "allocation failure 2 in mmatrix()");
}

}  // namespace wind
