#include "c_api/registry.h"

#include <array>
#include <mutex>
#include <unordered_set>

namespace orvel::capi {
namespace {

using HandleSet = std::unordered_set<const void*>;

// Constant-initialised, so the lock works even for calls made before start-up.
std::mutex handleLock;

// metaHandles, editHandles, imageHandles, paletteHandles. Built on first use and never
// destroyed, so a host's static initialisers and destructors may call the library in any order.
std::array<HandleSet, 4>& handleSets() {
  static auto* sets = new std::array<HandleSet, 4>();
  return *sets;
}

HandleSet& setOf(HandleKind kind) { return handleSets()[static_cast<std::size_t>(kind)]; }

}  // namespace

void registerHandle(HandleKind kind, HandleRecord* record) {
  std::lock_guard guard(handleLock);
  setOf(kind).insert(record);
}

bool containsHandle(HandleKind kind, const void* handle) noexcept {
  if (handle == nullptr) return false;
  std::lock_guard guard(handleLock);
  return setOf(kind).count(handle) != 0;
}

bool unregisterHandle(HandleKind kind, const void* handle) noexcept {
  if (handle == nullptr) return false;
  std::lock_guard guard(handleLock);
  return setOf(kind).erase(handle) != 0;
}

void releaseHandle(HandleKind kind, const void* handle) noexcept {
  if (!unregisterHandle(kind, handle)) return;
  // A call still running holds its own reference and keeps the record alive until it ends.
  static_cast<HandleRecord*>(const_cast<void*>(handle))->release();
}

HandleRecord* acquireHandle(HandleKind kind, const void* handle) noexcept {
  if (handle == nullptr) return nullptr;
  std::lock_guard guard(handleLock);
  if (setOf(kind).count(handle) == 0) return nullptr;
  // Records are registered by their HandleRecord address, so this cast restores the record.
  auto* record = static_cast<HandleRecord*>(const_cast<void*>(handle));
  record->retain();
  return record;
}

void clearRegistry() noexcept {
  std::lock_guard guard(handleLock);
  for (auto& set : handleSets()) HandleSet().swap(set);
}

}  // namespace orvel::capi
