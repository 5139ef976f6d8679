/* Linked into every program of the sanitizer build (tools/sanitize.sh) and
 * exported, so that it stands in for the C library's dlclose() in every
 * library the program loads: no library is unloaded before the process ends.
 *
 * Why: Mesa's software GL driver (swrast_dri.so, which libGLX_mesa opens when
 * Qt creates its shared GL context) keeps what its one-time CPU detection
 * allocates in a global of its own: on AMD Zen processors, one 128-byte
 * mask per L3 cache. libGLX_mesa unloads the driver when the X connection
 * closes, the global goes with it, and at exit LeakSanitizer finds the
 * masks unreferenced: a direct leak whose stack stops at the driver's first
 * frame (it has no frame pointers), in code no longer mapped, so no module
 * name can match it and the name printed depends on what else the process
 * mapped. Kept loaded, the driver's global still points at the masks, which
 * are then not a leak at all; and any report that does come from a library
 * names that library, as the module suppressions in lsan.supp need.
 *
 * Our own code closes no library, so no leak of ours can hide behind this:
 * memory reachable only from an unloaded library's globals is never ours. */
int dlclose(void* handle) {
  (void)handle;
  return 0;
}
