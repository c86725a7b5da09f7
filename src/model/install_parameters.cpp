#include "model/install_parameters.h"

#include <cmath>
#include <limits>

namespace tmby {

#define TMBY_PLAIN_CLASS(Name)                                                   \
  const TClassInfo& Name::StaticClass() {                                        \
    static const TClassInfo info = TClassInfo::Define<Name, TPersistent>(#Name); \
    return info;                                                                 \
  }

TMBY_PLAIN_CLASS(TList)
TMBY_PLAIN_CLASS(TFileStatusParameter)
TMBY_PLAIN_CLASS(TDownloadStatusParameter)
TMBY_PLAIN_CLASS(TDiskParameter)
TMBY_PLAIN_CLASS(TMessageParameter)

#undef TMBY_PLAIN_CLASS

TPersistent* TList::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<size_t>(index)];
}

int32_t PercentOf(int64_t part, int64_t whole) {
  if (whole == 0) return 0;
  const double percent =
      std::nearbyint(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
  if (!(percent > std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
  if (!(percent < std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(percent);
}

}  // namespace tmby
