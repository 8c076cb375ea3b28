#include "install/InstallContext.h"

namespace brik {

namespace {
TInstallState* g_boundState = nullptr;
}  // namespace

TInstallState& InstallState() {
    static TInstallState ownState;
    return g_boundState != nullptr ? *g_boundState : ownState;
}

void BindInstallState(TInstallState* state) { g_boundState = state; }

}  // namespace brik
