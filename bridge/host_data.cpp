#include "host_data.h"

#include <cstring>

#include "host_arrays.h"
#include "status.h"

namespace kessling {
namespace {

bool Aligned(const std::byte* p) noexcept {
    return reinterpret_cast<std::uintptr_t>(p) % alignof(double) == 0;
}

}  // namespace

int32_t Length(HostArrayHandle array) noexcept {
    int32_t size = 0;
    hostbind::ReadSizes(array, 1, &size);
    return size;
}

bool HostDoubles::Read(const std::byte* elements, std::size_t count) noexcept {
    if (count == 0 || Aligned(elements)) {
        data_ = reinterpret_cast<const double*>(elements);
        return true;
    }
    if (!copy_.Reset(count)) return false;
    std::memcpy(copy_.get(), elements, count * sizeof(double));
    data_ = copy_.get();
    return true;
}

bool HostDoublesOut::Open(std::byte* elements, std::size_t count) noexcept {
    elements_ = elements;
    count_ = count;
    if (count == 0 || Aligned(elements)) {
        data_ = reinterpret_cast<double*>(elements);
        return true;
    }
    if (!scratch_.Reset(count)) return false;
    data_ = scratch_.get();
    return true;
}

void HostDoublesOut::Store() const noexcept {
    if (scratch_ && count_ > 0) std::memcpy(elements_, scratch_.get(), count_ * sizeof(double));
}

HostOutput::~HostOutput() {
    if (!keep_) hostbind::EmptyArray(&handle_, type_, dims_);
}

int32_t HostOutput::Resize(std::initializer_list<int32_t> sizes) noexcept {
    return hostbind::ResizeArray(&handle_, type_, sizes);
}

std::byte* HostOutput::Elements() const noexcept { return hostbind::Elements(handle_, dims_); }

int32_t Window::Check(const SptWindowCluster* cluster, WindowRule rule) noexcept {
    if (!cluster) return kBadWindow;
    cluster_ = cluster;
    length_ = Length(cluster->window);
    const int32_t d = cluster->timeStep;
    const int32_t n = cluster->frequencyBins;
    if (length_ < 1 || d < 1 || n < 1) return kBadWindow;
    if (rule == WindowRule::kPlain) return kOk;
    if (!IsPowerOfTwo(n)) return kBadWindow;
    if (rule == WindowRule::kLattice && (length_ % n != 0 || length_ % d != 0)) return kBadWindow;
    return kOk;
}

bool Window::Load() noexcept {
    if (!window_.Read(hostbind::Elements(cluster_->window, 1), static_cast<std::size_t>(length_)))
        return false;
    params_ = StftParams{window_.get(), length_, cluster_->timeStep, cluster_->frequencyBins};
    return true;
}

}  // namespace kessling
