// The plain row kernels of the decimation and their table.
#include "geometry/decimateKernels.h"

namespace {

template <int C>
void halveRows(const uint8_t* __restrict r0, const uint8_t* __restrict r1, uint8_t* __restrict out,
               int32_t lanes) {
    for (int32_t i = 0; i < lanes / C; ++i)
        for (int32_t c = 0; c < C; ++c) {
            const int32_t at = 2 * C * i + c;
            out[C * i + c] = static_cast<uint8_t>((r0[at] + r0[at + C] + r1[at] + r1[at + C] + 2) >>
                                                  2);
        }
}

}  // namespace

const RowHalverEntry kRowHalvers[3] = {
    {1, {halveRows<1>, ZAR_SSE41(halveRowsSse41C1)}},
    {3, {halveRows<3>}},
    {4, {halveRows<4>}},
};

RowHalver rowHalverFor(int32_t channels, IsaLevel level) {
    for (const RowHalverEntry& entry : kRowHalvers)
        if (entry.channels == channels) return entry.variants.pick(level);
    return nullptr;
}
