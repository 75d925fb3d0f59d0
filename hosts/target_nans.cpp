#include "target_nans.h"

#include <bit>

#include "values.h"

namespace {

// Volatile, so that the compiler leaves the operations to run here instead
// of folding them with its own idea of the target's NaNs.
template <typename T, typename Raw>
Raw divided_zero()
{
    volatile T zero = 0;
    const T nan = zero / zero;
    return std::bit_cast<Raw>(nan);
}

template <typename T, typename Raw>
Raw times_one(Raw bits)
{
    volatile T value = std::bit_cast<T>(bits);
    volatile T one = 1;
    const T product = value * one;
    return std::bit_cast<Raw>(product);
}

} // namespace

uint64_t default_nan(bool single)
{
    const uint64_t bits = single ? divided_zero<float, uint32_t>() : divided_zero<double, uint64_t>();
    return bits & ~sign_bit(single);
}

bool quiet_bit_marks_quiet()
{
    static const bool marks = (default_nan(true) & quiet_bit(true)) != 0;
    return marks;
}

bool is_signalling(uint64_t bits, bool single)
{
    return is_nan(bits, single) && ((bits & quiet_bit(single)) != 0) != quiet_bit_marks_quiet();
}

uint64_t quieted(uint64_t bits, bool single)
{
    if (single) return times_one<float, uint32_t>(static_cast<uint32_t>(bits));
    return times_one<double, uint64_t>(bits);
}
