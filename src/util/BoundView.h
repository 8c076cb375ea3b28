// A module's view of the run: the run binds its own instance when it
// starts; before that (tools, tests) the module works on one of its own.
#pragma once

namespace brik {

template <typename T>
class TBoundView {
public:
    T& Get() { return bound_ != nullptr ? *bound_ : own_; }
    // null: back to the module's own.
    void Bind(T* view) { bound_ = view; }

private:
    T* bound_ = nullptr;
    T own_{};
};

}  // namespace brik
