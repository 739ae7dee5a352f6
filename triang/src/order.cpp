// Node ordering: the index sort that puts the soundings in order of
// increasing x, and the in-place permutation that carries every per-node
// array along.
#include <array>
#include <cassert>
#include <utility>

#include "triang/triang.hpp"

namespace triang {
namespace {

// The split fraction r moves between partitions so that a run of equal or
// patterned keys cannot keep splitting at the same relative place. It is a
// single-precision quantity and these are its single-precision constants; the
// order of equal keys (and so the insertion order of nodes with equal x)
// follows from them. The output bytes depend on them: the insertion order
// decides the triangulation of soundings that share an x, and so the values
// interpolated there. qsort_test.index_orders_of_tied_keys pins the orders of
// tied keys, reordr_test.companion_arrays_follow_tied_keys the arrays carried
// along with them.
constexpr float split_start = 0.375F;
constexpr float split_ceiling = 0.5898437F;
constexpr float split_step_up = 0.0390625F;
constexpr float split_step_down = 0.21875F;

// A segment with j - i >= 11 (12 entries or more) is partitioned; a shorter
// one that does not start at position 1 is finished by straight insertion.
constexpr int partition_min_span = 11;

// Pending segments. The larger part of every split is deferred and the
// smaller one processed, so with p segments pending the current one holds at
// most n / 2^p entries, and a split needs 2: at most floor(log2(n)) segments
// are ever pending. 21 pairs would cover n < 2^22; 30 cover every int n, so a
// very large survey cannot run off the end of the stack. The stack size does
// not affect the order produced.
constexpr int stack_pairs = 30;

struct segment {
  int lower;
  int upper;
};

// The sort proper. In the insertion pass the key at position i - 1, left
// there by the partitioning, is not greater than any key of the segment and
// stops the backward scan, so for ordinary keys the scan never reaches the
// front of ind. A not-a-number key breaks that guarantee (every comparison
// with it is false); the scan's test p >= 1, which ordinary keys never make
// decide, keeps it inside ind and leaves the order of ordinary keys as it is.
void sort_index(int n, one_based<const float> a, one_based<int> ind) {
  for (int q = 1; q <= n; ++q) {
    ind[q] = q;
  }

  std::array<segment, stack_pairs> stack_storage{};
  const one_based<segment> stack(stack_storage);
  int m = 1;
  int i = 1;
  int j = n;
  float r = split_start;

  const auto key = [&](int pos) { return a[ind[pos]]; };

  // Partitions [i, j] around the key at the split position, pushes the larger
  // part and continues with the smaller one (the lower part on a tie).
  const auto partition = [&] {
    int k = i;
    const int s = i + static_cast<int>(static_cast<double>(r) * static_cast<double>(j - i));
    float t = key(s);
    if (key(i) > t) {
      std::swap(ind[i], ind[s]);
      t = key(s);
    }
    int l = j;
    if (key(j) < t) {
      std::swap(ind[j], ind[s]);
      t = key(s);
      if (key(i) > t) {
        std::swap(ind[i], ind[s]);
        t = key(s);
      }
    }
    // Both scans are strict, so they stop on keys equal to t and those are
    // exchanged across the split.
    for (;;) {
      do {
        --l;
      } while (key(l) > t);
      do {
        ++k;
      } while (key(k) < t);
      if (k > l) {
        break;
      }
      std::swap(ind[k], ind[l]);
    }
    assert(m <= stack_pairs);
    if (l - i <= j - k) {
      stack[m] = {k, j};
      j = l;
    } else {
      stack[m] = {i, l};
      i = k;
    }
    ++m;
  };

  // Takes the most recently deferred segment; false when none is left.
  const auto pop = [&] {
    --m;
    if (m == 0) {
      return false;
    }
    i = stack[m].lower;
    j = stack[m].upper;
    return true;
  };

  // Straight insertion of positions i+1..j; an entry moves only past strictly
  // greater keys.
  const auto insertion = [&] {
    for (int q = i + 1; q <= j; ++q) {
      const int e = ind[q];
      const float t = a[e];
      if (key(q - 1) <= t) {
        continue;
      }
      int p = q - 1;
      do {
        ind[p + 1] = ind[p];
        --p;
      } while (p >= 1 && t < key(p));
      ind[p + 1] = e;
    }
  };

  // Each pass of this loop starts a segment at position 1 (the whole array
  // first): only there does r move.
  for (;;) {
    if (i < j) {
      r = r <= split_ceiling ? r + split_step_up : r - split_step_down;
      partition();
    } else if (!pop()) {
      return;
    }
    // Size test, repeated until the segment in hand is handed back to the
    // segment start above.
    for (;;) {
      if (j - i >= partition_min_span) {
        partition();
        continue;
      }
      if (i == 1) {
        break;
      }
      insertion();
      if (!pop()) {
        return;
      }
    }
  }
}

}  // namespace

void qsort(int n, std::span<const float> a, std::span<int> ind) {
  if (n < 1) {
    return;
  }
  const one_based<const float> keys(a);
  const one_based<int> order(ind);
  const bool fits = n <= keys.size() && n <= order.size();
  assert(fits && "qsort: n exceeds the arrays");
  if (!fits) {
    return;
  }
  sort_index(n, keys, order);
}

void permut(int n, std::span<int> ip, std::span<float> a) {
  if (n < 2) {
    return;
  }
  const one_based<int> perm(ip);
  const one_based<float> values(a);
  const bool fits = n <= perm.size() && n <= values.size();
  assert(fits && "permut: n exceeds the arrays");
  if (!fits) {
    return;
  }
  // Every entry must be a position; checked before anything moves, so a bad
  // entry leaves a and ip exactly as they were.
  for (int q = 1; q <= n; ++q) {
    if (perm[q] < 1 || perm[q] > n) {
      assert(false && "permut: ip holds an entry outside 1..n");
      return;
    }
  }

  // Follow each cycle, negating the entries of ip as they are visited. With all
  // entries in 1..n, a cycle can only reach an entry already negated when ip
  // repeats a position; that read is caught below, so no cycle runs longer
  // than n steps and no subscript leaves 1..n.
  bool permutation = true;
  for (int s = 1; s <= n && permutation; ++s) {
    if (perm[s] < 0) {
      continue;
    }
    const float hold = values[s];
    int q = s;
    for (;;) {
      const int e = perm[q];
      if (e < 0) {
        permutation = false;
        break;
      }
      perm[q] = -e;
      if (e == s) {
        break;
      }
      values[q] = values[e];
      q = e;
    }
    // Also on a repeated entry: every value of a is then still present once.
    values[q] = hold;
  }

  // Only visited entries are negative (all were positive on entry), so this
  // restores ip in every case.
  for (int q = 1; q <= n; ++q) {
    if (perm[q] < 0) {
      perm[q] = -perm[q];
    }
  }
  assert(permutation && "permut: ip repeats an entry");
}

void reordr(int n, int iflag, std::span<float> a, std::span<float> b, std::span<float> c,
            std::span<int> ind) {
  qsort(n, a, ind);
  if (iflag <= 0) {
    return;
  }
  permut(n, ind, a);
  if (iflag == 1) {
    return;
  }
  permut(n, ind, b);
  if (iflag == 2) {
    return;
  }
  permut(n, ind, c);
}

}  // namespace triang
