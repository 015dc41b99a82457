// The 8- and 16-bit morphology row kernels compiled for 32-byte vectors (and
// AVX2's unsigned 16-bit maximum and minimum).
#include "morph/morphRows.h"

void erodeRows8Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                    int32_t values, int32_t step) {
    valueRowsBody<uint8_t, Smaller<uint8_t>>(kx, ky, rows, column, out, values, step);
}
void erodeRows16Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                     int32_t values, int32_t step) {
    valueRowsBody<uint16_t, Smaller<uint16_t>>(kx, ky, rows, column, out, values, step);
}
void dilateRows8Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                     int32_t values, int32_t step) {
    valueRowsBody<uint8_t, Larger<uint8_t>>(kx, ky, rows, column, out, values, step);
}
void dilateRows16Avx2(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                      int32_t values, int32_t step) {
    valueRowsBody<uint16_t, Larger<uint16_t>>(kx, ky, rows, column, out, values, step);
}
