// Neighbour lists with room to grow, for building a triangulation fast in a
// caller's workspace.
//
// The packed structure keeps all lists back to back, so every insertion or
// removal shifts the tail of iadj and moves every later list end: with nodes
// added in x order that is O(sqrt(n)) work per edit. Here each node's list
// lives in a block of its own with spare room, and an edit only moves entries
// of the list it touches. Each edit puts an entry at the same place relative
// to its own list as the packed edit does, so packing the lists back to back
// at the end gives exactly the packed structure.
//
// Workspace layout (ints), for n nodes:
//   start[1..n]  pool position of node k's first entry
//   len[1..n]    number of entries in node k's list
//   cap[1..n]    room in node k's block
//   pool[1..P]   P = 12n + 64: eight cleared positions, then blocks: a
//                header, then cap entries. The header of a live block is its
//                node number; a block left behind when its list moved has
//                -(its room) instead, so that the pool can be walked block by
//                block.
// New blocks are taken from the top of the pool. A list that outgrows its
// block grows in place when its block is the topmost, else moves to the top
// with half as much room again. When the top reaches P, the live blocks are
// packed down in place, each trimmed to its list: a triangulation of k nodes
// has at most 6k-9 entries, so about 5n positions are then free and the pool
// never runs out.
#pragma once

#include <algorithm>
#include <bit>
#include <cassert>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

#include "triang/triang.hpp"

namespace triang::detail {

class node_lists {
 public:
  /// Largest n whose pool positions fit in an int.
  static constexpr int max_nodes = (INT_MAX - 64) / 12;

  static constexpr std::size_t pool_size(int n) noexcept {
    return 12 * static_cast<std::size_t>(n) + 64;
  }
  /// Ints of workspace for n nodes; 0 when n is out of range (below 3 or
  /// above max_nodes).
  static constexpr std::size_t work_size(int n) noexcept {
    return n < 3 || n > max_nodes ? 0 : 3 * static_cast<std::size_t>(n) + pool_size(n);
  }

  /// Empty lists for up to n nodes in work (at least work_size(n) ints).
  /// iadj_size is the capacity of the caller's iadj, which bounds a boundary
  /// walk in bdyadd on a broken structure exactly as it does for the packed
  /// routine.
  node_lists(int n, std::size_t iadj_size, std::span<int> work) noexcept
      : start_(work.subspan(0, static_cast<std::size_t>(n))),
        len_(work.subspan(static_cast<std::size_t>(n), static_cast<std::size_t>(n))),
        cap_(work.subspan(2 * static_cast<std::size_t>(n), static_cast<std::size_t>(n))),
        pool_(work.subspan(3 * static_cast<std::size_t>(n), pool_size(n))),
        pool_top_(static_cast<int>(pool_size(n))),
        iadj_size_(static_cast<std::int64_t>(iadj_size)) {
    clear(1, padding);
  }

  // -- the list view (see packed_lists.hpp) --------------------------------

  int nodes() const noexcept { return count_; }
  std::int64_t entries() const noexcept { return entries_; }
  int first(int node) const noexcept { return start_[node]; }
  int last(int node) const noexcept { return start_[node] + len_[node] - 1; }
  int at(int pos) const noexcept { return pool_[pos]; }
  bool has_list(int node) const noexcept { return len_[node] >= 2; }
  int find(int node, int nbr) const noexcept {
    const int f = first(node);
    const int* list = pool_ptr(f);
    // The list is read backwards in windows of eight entries, each giving a
    // bit mask of its matches: the highest bit is the last match. A search
    // ends in the first window most of the time, so its one branch is well
    // predicted, where an entry-by-entry search mispredicts its exit on
    // nearly every call. The first window ends at the list's end and may
    // start before the list (in the pool's front padding or the block below,
    // all of it written); bits before the list are masked off.
    for (int w = len_[node] - window;; w -= window) {
      const unsigned in_list = w >= 0 ? all_bits : all_bits << -w;
      const unsigned hits = matches(list + w, nbr) & in_list;
      if (hits != 0) {
        return f + w + 31 - std::countl_zero(hits);
      }
      if (w <= 0) {
        break;
      }
    }
    assert(false && "index: nbr is not in the list of kvert");
    return 0;
  }

  /// Nodes 1..knew-1: all the lists there are while knew is being added.
  const node_lists& before(int knew) const noexcept {
    assert(count_ == knew - 1);
    static_cast<void>(knew);
    return *this;
  }

  // -- building --------------------------------------------------------------

  /// Takes over the lists of nodes 1..k from a packed structure.
  void load(std::span<const int> iadj, std::span<const int> iend, int k) noexcept {
    const one_based<const int> adj(iadj);
    const one_based<const int> ends(iend);
    for (int node = 1; node <= k; ++node) {
      const int f = node == 1 ? 1 : ends[node - 1] + 1;
      begin_list(node, ends[node] - f + 1 + spare);
      for (int pos = f; pos <= ends[node]; ++pos) {
        append(node, adj[pos]);
      }
    }
  }

  /// Writes lists 1..nodes() back to back into iadj and their ends into iend.
  void pack(std::span<int> iadj, std::span<int> iend) const noexcept {
    const one_based<int> ends(iend);
    std::size_t used = 0;
    for (int node = 1; node <= count_; ++node) {
      const auto len = static_cast<std::size_t>(len_[node]);
      assert(used + len <= iadj.size() && "node_lists: lists overflow iadj");
      if (used + len > iadj.size()) {
        return;
      }
      std::memcpy(iadj.data() + used, &pool_[start_[node]], len * sizeof(int));
      used += len;
      ends[node] = static_cast<int>(used);
    }
  }

  /// As the packed bdyadd: knew becomes the first entry of nv2's list and
  /// the last neighbour of nv1; its own list is nv1, the boundary nodes
  /// clockwise from nv1 to nv2 (which become interior), nv2, 0.
  void bdyadd(int knew, int nv1, int nv2) noexcept {
    const int m = knew - 1;
    const std::int64_t last_before = entries_;
    insert(nv2, 0, knew);
    insert(nv1, len_[nv1] - 1, knew);
    begin_list(knew, fresh_room);
    append(knew, nv1);
    int nb = pool_[last(nv1) - 2];
    while (nb != nv2) {
      // The packed routine writes knew's list from position last_before + 3
      // and stops at the end of iadj; the same stop here keeps a broken
      // structure's result the same.
      const bool valid = nb >= 1 && nb <= m && last_before + 2 + len_[knew] + 3 <= iadj_size_;
      assert(valid && "bdyadd: nv2 is not on the boundary clockwise from nv1");
      if (!valid) {
        break;
      }
      append(knew, nb);
      pool_[last(nb)] = knew;
      nb = pool_[last(nb) - 1];
    }
    append(knew, nv2);
    append(knew, outside);
  }

  /// As the packed intadd: knew goes right after the next vertex in each
  /// vertex's list; its own list is nv1, nv2, nv3.
  void intadd(int knew, int nv1, int nv2, int nv3) noexcept {
    insert_after(nv1, nv2, knew);
    insert_after(nv2, nv3, knew);
    insert_after(nv3, nv1, knew);
    begin_list(knew, fresh_room);
    append(knew, nv1);
    append(knew, nv2);
    append(knew, nv3);
  }

  /// As the packed swap: the arc diag1-diag2 is replaced by join1-join2.
  /// Where the new entry goes between the last and the first entry of a
  /// cyclic list, "after" puts it at the list's end and "before" at its
  /// start. The packed swap moves each gaining list towards the list that
  /// loses an entry, so the gaining list that lies before its losing partner
  /// (a before d1, b before d2) takes the entry after its first neighbour, the
  /// other one before its second.
  /// diag1_pos is find(diag2, diag1), which the caller has at hand.
  void swap(int join1, int join2, int diag1, int diag2, int diag1_pos) noexcept {
    const int a = std::min(join1, join2);
    const int b = std::max(join1, join2);
    const int d1 = std::min(diag1, diag2);
    const int d2 = std::max(diag1, diag2);
    // In a's list u is followed by v, in b's list v by u.
    const int u = a == join1 ? diag1 : diag2;
    const int v = a == join1 ? diag2 : diag1;
    erase(diag1, find(diag1, diag2));
    erase(diag2, diag1_pos);
    if (a < d1) {
      insert_after(a, u, b);
    } else {
      insert_before(a, v, b);
    }
    if (b < d2) {
      insert_after(b, v, a);
    } else {
      insert_before(b, u, a);
    }
  }

 private:
  // Room of a new list; most nodes end with six to eight neighbours.
  static constexpr int fresh_room = 8;
  // Extra room given to a loaded list.
  static constexpr int spare = 4;

  static constexpr int window = 8;
  // Written positions below the first block, for find's first window.
  static constexpr int padding = window;
  static constexpr unsigned all_bits = (1U << window) - 1;

  // Bit k set when entries[k] == nbr, for k = 0..window-1.
  static unsigned matches(const int* entries, int nbr) noexcept {
#if defined(__SSE2__)
    const __m128i key = _mm_set1_epi32(nbr);
    const auto lanes = [&](const int* four) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(four));
      return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, key))));
    };
    return lanes(entries) | (lanes(entries + 4) << 4);
#else
    unsigned hits = 0;
    for (unsigned k = 0; k < window; ++k) {
      hits |= static_cast<unsigned>(entries[k] == nbr) << k;
    }
    return hits;
#endif
  }

  int* pool_ptr(int pos) const noexcept {
    assert(pos >= 1 && pos <= pool_top_ + 1);
    return pool_.span().data() + (pos - 1);
  }
  void move_entries(int to, int from, int count) const noexcept {
    if (count > 0) {
      std::memmove(pool_ptr(to), pool_ptr(from), static_cast<std::size_t>(count) * sizeof(int));
    }
  }

  // Most edits move the few entries of one list by one place, where a call
  // to memmove costs more than the move. The moves pass one value along (a
  // plain copy loop would be turned back into a memmove call).
  static constexpr int short_move = 16;

  bool is_topmost(int node) const noexcept {
    return start_[node] + cap_[node] - 1 == top_;
  }
  // Room a list can gain without compaction: in place when its block is the
  // topmost, else by moving (header and entries) to the top.
  int room(int node) const noexcept {
    return is_topmost(node) ? pool_top_ - top_ : pool_top_ - top_ - 1 - len_[node];
  }

  /// Opens a block of the given room for node at the top of the pool, with
  /// an empty list; node becomes the highest node.
  void begin_list(int node, int want) noexcept {
    if (pool_top_ - top_ - 1 < want) {
      compact();
      want = std::min(want, pool_top_ - top_ - 1);
    }
    pool_[top_ + 1] = node;
    start_[node] = top_ + 2;
    len_[node] = 0;
    cap_[node] = want;
    clear(top_ + 2, want);
    top_ += 1 + want;
    count_ = node;
  }

  // Free room in a block is cleared when the block is opened or grows, so
  // that every pool position up to the top has been written: find reads a
  // little below the start of a list.
  void clear(int pos, int count) const noexcept {
    if (count > 0) {
      std::memset(pool_ptr(pos), 0, static_cast<std::size_t>(count) * sizeof(int));
    }
  }

  /// Gives node's full block more room; false only when the pool is full,
  /// which the bound on the number of entries rules out for any structure
  /// but a broken one.
  bool grow(int node) noexcept {
    const int len = len_[node];
    int extra = std::max(4, len / 2);
    if (room(node) < extra) {
      compact();
      extra = std::min(extra, room(node));
      assert(extra >= 1 && "node_lists: pool exhausted");
      if (extra < 1) {
        return false;
      }
    }
    if (is_topmost(node)) {
      clear(top_ + 1, extra);
      cap_[node] += extra;
      top_ += extra;
      return true;
    }
    const int to = top_ + 1;
    pool_[to] = node;
    move_entries(to + 1, start_[node], len);
    pool_[start_[node] - 1] = -cap_[node];
    start_[node] = to + 1;
    cap_[node] = len + extra;
    clear(to + 1 + len, extra);
    top_ = to + len + extra;
    return true;
  }

  /// Packs the live blocks down to the bottom of the pool, in pool order,
  /// each trimmed to its list.
  void compact() noexcept {
    int to = padding;
    int from = padding + 1;
    while (from <= top_) {
      const int tag = pool_[from];
      if (tag <= 0) {
        from += 1 - tag;
        continue;
      }
      const int len = len_[tag];
      const int room_was = cap_[tag];
      move_entries(to + 1, from, 1 + len);
      start_[tag] = to + 2;
      cap_[tag] = len;
      to += 1 + len;
      from += 1 + room_was;
    }
    top_ = to;
  }

  /// Puts value at offset i of node's list (0 is the start, len the end).
  void insert(int node, int i, int value) noexcept {
    if (len_[node] == cap_[node] && !grow(node)) {
      return;
    }
    const int pos = start_[node] + i;
    const int count = len_[node] - i;
    if (count > short_move) {
      move_entries(pos + 1, pos, count);
      pool_[pos] = value;
    } else {
      int* entries = pool_ptr(pos);
      int carry = value;
      for (int k = 0; k < count; ++k) {
        const int next = entries[k];
        entries[k] = carry;
        carry = next;
      }
      entries[count] = carry;
    }
    ++len_[node];
    ++entries_;
  }
  void append(int node, int value) noexcept {
    insert(node, len_[node], value);
  }
  // A neighbour missing from the list (find has asserted) changes nothing.
  void insert_after(int node, int nbr, int value) noexcept {
    if (const int pos = find(node, nbr); pos != 0) {
      insert(node, pos - start_[node] + 1, value);
    }
  }
  void insert_before(int node, int nbr, int value) noexcept {
    if (const int pos = find(node, nbr); pos != 0) {
      insert(node, pos - start_[node], value);
    }
  }
  /// Removes the entry at pos from node's list.
  void erase(int node, int pos) noexcept {
    if (pos == 0) {
      return;
    }
    const int count = last(node) - pos;
    if (count > short_move) {
      move_entries(pos, pos + 1, count);
    } else {
      int* entries = pool_ptr(pos);
      int carry = entries[count];
      for (int k = count - 1; k >= 0; --k) {
        const int next = entries[k];
        entries[k] = carry;
        carry = next;
      }
    }
    --len_[node];
    --entries_;
  }

  one_based<int> start_;
  one_based<int> len_;
  one_based<int> cap_;
  one_based<int> pool_;
  int pool_top_;       // P, the last position of the pool
  int top_ = padding;  // last pool position in use
  int count_ = 0;
  std::int64_t entries_ = 0;
  std::int64_t iadj_size_;
};

}  // namespace triang::detail
