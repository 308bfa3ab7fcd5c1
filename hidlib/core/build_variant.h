// The model of this build, chosen by the compile definition HIDLIB_VARIANT_HBV7 or
// HIDLIB_VARIANT_HBV5 (see hidlib_select_variant in hidlib/CMakeLists.txt).
#pragma once

#include "variant.h"

#if defined(HIDLIB_VARIANT_HBV7) && !defined(HIDLIB_VARIANT_HBV5)
inline constexpr const BoardVariant& kBuildVariant = kHbv7;
#elif defined(HIDLIB_VARIANT_HBV5) && !defined(HIDLIB_VARIANT_HBV7)
inline constexpr const BoardVariant& kBuildVariant = kHbv5;
#else
#error "Define exactly one of HIDLIB_VARIANT_HBV7 and HIDLIB_VARIANT_HBV5"
#endif

inline constexpr std::uint16_t kVendorId = kBuildVariant.vendorId;
inline constexpr std::uint16_t kProductId = kBuildVariant.productId;
