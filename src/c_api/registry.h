// The handle registry: one set of live addresses per handle kind, guarded by one lock.
// Membership, not the pointer's value, decides whether a handle is accepted.
#pragma once

#include <atomic>
#include <cstdint>

namespace orvel::capi {

enum class HandleKind : uint8_t { meta, edit, image, palette };

// Base of every record that stands behind a handle. The count is atomic: two threads using
// one handle take and drop call references at the same time.
class HandleRecord {
 public:
  HandleRecord() = default;
  HandleRecord(const HandleRecord&) = delete;
  HandleRecord& operator=(const HandleRecord&) = delete;
  virtual ~HandleRecord() = default;

  void retain() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Drops one reference; the last one destroys the record.
  void release() noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  int64_t referenceCount() const noexcept { return refs_.load(std::memory_order_relaxed); }

 private:
  std::atomic<int64_t> refs_{0};
};

// Adds the record to the set of its kind.
void registerHandle(HandleKind kind, HandleRecord* record);

// True when the address is a live handle of that kind. A null address answers false.
bool containsHandle(HandleKind kind, const void* handle) noexcept;

// Removes the address from its set; answers whether it was there.
bool unregisterHandle(HandleKind kind, const void* handle) noexcept;

// Removes a live handle from its set and drops the reference its registration held; null,
// unknown and already freed handles are ignored.
void releaseHandle(HandleKind kind, const void* handle) noexcept;

// When the address is a live handle of that kind, takes a call reference on its record under
// the lock (so a concurrent free cannot destroy it first) and returns it; otherwise null.
HandleRecord* acquireHandle(HandleKind kind, const void* handle) noexcept;

// Empties all four sets and releases their storage; records are not destroyed.
void clearRegistry() noexcept;

}  // namespace orvel::capi
