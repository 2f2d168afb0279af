#include "scene/export_context.h"

#include "scene/xnode.h"

ExportContext::ExportContext(ExportSettings& settings) : settings_(settings) { settings_.options = ExportOptions{}; }

ExportContext::~ExportContext() {
    // The lists own nothing; the top-level list owns the tree.
    byHost_.clear();
    nodes.clear();
    meshNodes.clear();
    topLevelNodes.clear();
}

XNode* ExportContext::FindNode(INode* hostNode) const {
    const auto found = byHost_.find(hostNode);
    return found == byHost_.end() ? nullptr : found->second;
}

void ExportContext::AddNode(INode* hostNode, XNode* node) {
    if (!node) return;
    auto [it, inserted] = byHost_.try_emplace(hostNode, node);
    if (!inserted) {
        // The same host node met twice (a host that lists a child under two parents): the
        // later export node replaces the earlier one in both lists.
        for (XNode*& n : nodes)
            if (n == it->second) n = node;
        it->second = node;
        return;
    }
    nodes.push_back(node);
}
