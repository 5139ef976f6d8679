#pragma once
// Every video opened starts a new player whose decoder threads are new
// threads, and glibc gives each new thread a heap arena of its own (up to
// eight per core) that keeps what was freed in it: over a long session the
// process grows by a hundred MiB and more without leaking anything. Two
// arenas keep the resident size flat; the decoders allocate through pools
// and hardly contend for them.

#include <malloc.h>

namespace quillet::qt {

inline void limitHeapArenas() {
  mallopt(M_ARENA_MAX, 2);
}

}  // namespace quillet::qt
