// The Windows side of host/stack_guard.h. The Windows build has no third-party reader that
// recurses per nesting level (it has no Assimp; its own readers keep explicit stacks), so the
// work runs on the calling thread.
#include "host/import/stack_guard.h"

void RunWithStackGuard(const std::function<void()>& work, const std::string& /*overflowMessage*/) { work(); }
