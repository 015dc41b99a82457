// lagrange4 (decimateKernels.h) over vector lanes, in its order of operations,
// for the vector files of the decimation (each compiles its own copy: static).
// V is the vector of doubles; Ops gives set1, add, sub and mul on it.
#pragma once

template <class V, class Ops>
static inline V lagrangeLanes(V a, V b, V c, V d, V t) {
    const V b3 = Ops::mul(Ops::set1(3.0), b), c3 = Ops::mul(Ops::set1(3.0), c);
    const V c1 = Ops::sub(
        Ops::add(Ops::sub(Ops::mul(Ops::set1(-2.0), a), b3), Ops::mul(Ops::set1(6.0), c)), d);
    const V c2 = Ops::add(Ops::sub(Ops::mul(Ops::set1(3.0), a), Ops::mul(Ops::set1(6.0), b)), c3);
    const V cc = Ops::add(Ops::sub(Ops::sub(b3, a), c3), d);
    const V tt = Ops::mul(t, t);
    const V sum = Ops::add(
        Ops::add(Ops::add(Ops::mul(Ops::set1(6.0), b), Ops::mul(t, c1)), Ops::mul(tt, c2)),
        Ops::mul(Ops::mul(tt, t), cc));
    return Ops::mul(sum, Ops::set1(static_cast<double>(1.0f / 6.0f)));
}
