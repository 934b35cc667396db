/* korvex_picture.h: pictures of the simulated machine's marks for C hosts (PNG, SVG or PDF, drawn
 * with cairo exactly as the korvex program draws them). In its own library, so the machine library
 * itself needs no cairo: link with -lkorvex_picture -lkorvex. */
#ifndef KORVEX_KORVEX_PICTURE_H
#define KORVEX_KORVEX_PICTURE_H

#include "korvex/korvex.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Draws the calling thread's simulated marks so far into path. format: "png", "svg" or "pdf"; NULL
 * takes it from the file name's extension. head_steps_per_mm: the simulated head's scale, D/A units
 * per millimetre (1000 / the step size in um the job was set up with; 0 for 100). field_mm: the
 * side of the square field the frame shows (0 for 110). A failure is a KORVEX_FAULT_FILE error (the
 * file cannot be written) or KORVEX_FAULT_ARGUMENT (bad format or scale, no simulated machine). */
KORVEX_API int32_t korvex_sim_write_picture(const char* path, const char* format, double head_steps_per_mm, double field_mm);

#ifdef __cplusplus
}
#endif

#endif /* KORVEX_KORVEX_PICTURE_H */
