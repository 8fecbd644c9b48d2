#include "ui/workspace_state.h"

namespace Velmor {

WorkspaceState& workspaceState()
{
    static WorkspaceState state;
    return state;
}

}  // namespace Velmor
