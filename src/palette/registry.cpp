// The registry of quantisers by name.
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "palette/quantize.h"

namespace orvel::palette {
namespace {

color::Result<Palette> runKmeans(const color::ColorImage& image, int64_t n, const QuantizeOpts& o) {
  return computeKmeansImage(image, n, o, false);
}

color::Result<Palette> runKmeansPP(const color::ColorImage& image, int64_t n,
                                   const QuantizeOpts& o) {
  return computeKmeansImage(image, n, o, true);
}

struct QuantRegistry {
  std::vector<std::pair<std::string, QuantizeFn>> quantByName;  // in registration order
  bool quantSealed = false;
};

bool insert(QuantRegistry& r, std::string_view name, QuantizeFn fn) {
  if (r.quantSealed || name.empty() || fn == nullptr) return false;
  for (const auto& entry : r.quantByName) {
    if (entry.first == name) return false;
  }
  r.quantByName.emplace_back(std::string(name), fn);
  return true;
}

std::mutex registryLock;

QuantRegistry& registry() {
  static QuantRegistry* r = [] {
    auto* built = new QuantRegistry();
    insert(*built, "wu", computeWu);
    insert(*built, "kmeans", runKmeans);
    insert(*built, "kmeansPP", runKmeansPP);
    insert(*built, "medianCut", medianCut);
    insert(*built, "octree", octree);
    insert(*built, "neuquant", neuquant);
    return built;
  }();
  return *r;
}

}  // namespace

QuantizeOpts defaultQuantizeOpts() noexcept { return QuantizeOpts{}; }

bool registerQuantizeAlgo(std::string_view name, QuantizeFn fn) {
  std::lock_guard guard(registryLock);
  return insert(registry(), name, fn);
}

void sealQuantizeAlgos() {
  std::lock_guard guard(registryLock);
  registry().quantSealed = true;
}

bool quantizeAlgosSealed() {
  std::lock_guard guard(registryLock);
  return registry().quantSealed;
}

QuantizeFn lookupQuantizeAlgo(std::string_view name) {
  std::lock_guard guard(registryLock);
  for (const auto& entry : registry().quantByName) {
    if (entry.first == name) return entry.second;
  }
  return nullptr;
}

std::string quantizeAlgoNames() {
  std::lock_guard guard(registryLock);
  std::string out;
  for (const auto& entry : registry().quantByName) {
    if (!out.empty()) out += ", ";
    out += entry.first;
  }
  return out;
}

}  // namespace orvel::palette
