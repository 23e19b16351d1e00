#ifndef KELCPP_SIM_CHECKEDMATH_H
#define KELCPP_SIM_CHECKEDMATH_H

// Simulated time runs to the ends of int64 µs: sums, differences and
// products stop at the limits instead of wrapping.

#include <cstdint>
#include <limits>

namespace KelCPP {
namespace Sim {

inline std::int64_t SatAdd(std::int64_t a, std::int64_t b)
{
    std::int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return sum;
}

inline std::int64_t SatSub(std::int64_t a, std::int64_t b)
{
    std::int64_t difference;
    if (__builtin_sub_overflow(a, b, &difference))
        return b < 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
    return difference;
}

inline std::int64_t SatMul(std::int64_t a, std::int64_t b)
{
    std::int64_t product;
    if (__builtin_mul_overflow(a, b, &product))
        return (a < 0) != (b < 0) ? std::numeric_limits<std::int64_t>::min()
                                  : std::numeric_limits<std::int64_t>::max();
    return product;
}

} // namespace Sim
} // namespace KelCPP

#endif
