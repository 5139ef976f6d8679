// Compiled only by the layering tests, with one library's include view.
#include QUILLET_PROBE_HEADER
