// The 8- and 16-bit morphology row kernels compiled for 64-byte vectors (AVX-512 BW, with
// its byte and 16-bit maxima and minima).
#include "morph/morphRows.h"

void erodeRows8Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                      int32_t values, int32_t step) {
    valueRowsBody<uint8_t, Smaller<uint8_t>>(kx, ky, rows, column, out, values, step);
}
void erodeRows16Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                       int32_t values, int32_t step) {
    valueRowsBody<uint16_t, Smaller<uint16_t>>(kx, ky, rows, column, out, values, step);
}
void dilateRows8Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                       int32_t values, int32_t step) {
    valueRowsBody<uint8_t, Larger<uint8_t>>(kx, ky, rows, column, out, values, step);
}
void dilateRows16Avx512(int32_t kx, int32_t ky, const char* const* rows, char* column, char* out,
                        int32_t values, int32_t step) {
    valueRowsBody<uint16_t, Larger<uint16_t>>(kx, ky, rows, column, out, values, step);
}
