// The enumerations shared by the install objects, the files and the archive component. They are
// stored by name in install definitions: keep the order of every enumeration.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "base/component.h"

namespace tmby {

enum TInstallType { itFull, itDefault, itCompact, itCustom };

// The Windows versions as the kit classifies them (os31win32 is Win32s on Windows 3.1).
enum TOSVerType {
  os31win32,
  oswin95,
  oswinNT,
  oswinNT351,
  osUnidentified,
  osLinux,
  oswin2K,
  oswin98,
  oswinME,
  oswinXP
};

// The bulk operation a file or file container is carrying out.
enum TInstallFileState { ifsNone, ifsCompress, ifsInstall, ifsCopying, ifsReflect };

// A small set of enumerators, one bit each (enumerations of at most 32 values).
template <typename E>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> items) {
    for (E e : items) bits_ |= Bit(e);
  }
  static constexpr EnumSet FromBits(uint32_t bits) {
    EnumSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr uint32_t Bits() const { return bits_; }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr EnumSet& Include(E e) {
    bits_ |= Bit(e);
    return *this;
  }
  constexpr EnumSet& Exclude(E e) {
    bits_ &= ~Bit(e);
    return *this;
  }
  friend constexpr bool operator==(EnumSet a, EnumSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr uint32_t Bit(E e) { return uint32_t{1} << static_cast<unsigned>(e); }
  uint32_t bits_ = 0;
};

TMBY_ENUM_NAMES(TInstallType, itFull, itDefault, itCompact, itCustom)
TMBY_ENUM_NAMES(TInstallFileState, ifsNone, ifsCompress, ifsInstall, ifsCopying, ifsReflect)
TMBY_ENUM_NAMES(TOSVerType, os31win32, oswin95, oswinNT, oswinNT351, osUnidentified, osLinux,
                oswin2K, oswin98, oswinME, oswinXP)

// Where the product files come from: the distribution's archives, a net location, or both.
enum TDistributeType { dtTraditional, dtWeb, dtTraditionalNet };
TMBY_ENUM_NAMES(TDistributeType, dtTraditional, dtWeb, dtTraditionalNet)

using TInstallTypeSet = EnumSet<TInstallType>;
using OSSet = EnumSet<TOSVerType>;

}  // namespace tmby
