// Compiled only by the layering tests, with one logic library's include view.
#include QUILLET_PROBE_HEADER
