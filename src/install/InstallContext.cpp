#include "install/InstallContext.h"

#include "util/BoundView.h"
namespace brik {

namespace {
TBoundView<TInstallState>& StateView() {
    static TBoundView<TInstallState> view;
    return view;
}
}  // namespace

TInstallState& InstallState() { return StateView().Get(); }

void BindInstallState(TInstallState* state) { StateView().Bind(state); }

}  // namespace brik
