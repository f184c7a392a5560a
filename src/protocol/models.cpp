#include "models.h"

#include <string_view>

namespace pelorin {

namespace {

constexpr std::array<std::string_view, 16> kModelNames = {
    "(0)",    "KT-100", "KT-200", "KT-300", "KT-400", "(5)",   "(6)",      "(7)",
    "KT-500", "KT-600", "(10)",   "(11)",   "(12)",   "HUB_Q", "HUB-Q300", "(EX0)",
};

}  // namespace

std::string ModelName(ModelIndex model) {
  if (model >= 0 && model < static_cast<ModelIndex>(kModelNames.size())) {
    return std::string(kModelNames[static_cast<size_t>(model)]);
  }
  return "(" + std::to_string(model) + ")";
}

}  // namespace pelorin
