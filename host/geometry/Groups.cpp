#include "Groups.h"

#include <memory>
#include <vector>

namespace {

// Collects `root` and every group below it, each after its parent.
std::vector<trelBaseGroup*> GroupsBelow(trelBaseGroup* root) {
    std::vector<trelBaseGroup*> order{root};
    for (size_t k = 0; k < order.size(); ++k) {
        const trelBaseGroup* group = order[k];
        for (int i = 0; i < group->GetNumGroups(); ++i)
            order.push_back(group->GetGroup(i));
    }
    return order;
}

// The properties as last stored by any group of this thread, when they are
// the same: a file's groups mostly repeat them (each use of a part, each
// part of one colour), and then hold one copy between them.
std::shared_ptr<const trelMatProps> SharedProps(const trelMatProps& props) {
    thread_local std::shared_ptr<const trelMatProps> last;
    if (!last || !(*last == props))
        last = std::make_shared<const trelMatProps>(props);
    return last;
}

} // namespace

trelBaseGroup::~trelBaseGroup() {
    for (Entry& entry : objects)
        if (entry.owned)
            delete entry.object;

    // Each owned descendant is emptied of its child list before it is
    // deleted, so no destructor ever reaches a second level. (Growing this
    // list can fail only when memory is exhausted, which in a destructor
    // ends the program, as any exception there would.)
    std::vector<trelBaseGroup*> doomed;
    for (const Child& child : groups)
        if (child.owned)
            doomed.push_back(child.group);
    groups.clear();
    while (!doomed.empty()) {
        trelBaseGroup* group = doomed.back();
        doomed.pop_back();
        for (const Child& child : group->groups)
            if (child.owned)
                doomed.push_back(child.group);
        group->groups.clear();
        delete group;
    }
}

void trelBaseGroup::AddObject(trelBaseObject* object, const trelMatProps& props, trelBool takeOwnership) {
    if (!object)
        return;
    try {
        if (!firstRun)
            firstRun = SharedProps(props);
        else if (!(*RunProps(static_cast<uint32_t>(laterRuns.size())) == props))
            laterRuns.push_back(SharedProps(props));
        objects.push_back(Entry{object, static_cast<uint32_t>(laterRuns.size()), takeOwnership});
    } catch (...) {
        if (takeOwnership)
            delete object;
        throw;
    }
}

void trelBaseGroup::AddGroup(C3DGroup* child, trelBool takeOwnership) {
    if (!child || child == this)
        return;
    try {
        groups.push_back(Child{child, takeOwnership});
    } catch (...) {
        if (takeOwnership)
            delete child;
        throw;
    }
}

void trelBaseGroup::RecursiveUpdateBBox() {
    const std::vector<trelBaseGroup*> order = GroupsBelow(this);
    // Children come after their parents, so backwards every child's box is
    // ready when its parent's is made.
    for (size_t k = order.size(); k-- > 0;) {
        trelBaseGroup* group = order[k];
        group->bbox.Reset();
        for (const Entry& entry : group->objects)
            group->bbox.AddBox(entry.object->GetBBox());
        for (const Child& child : group->groups)
            group->bbox.AddBox(static_cast<const trelBaseGroup*>(child.group)->bbox);
    }
}

void trelBaseGroup::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) {
    for (trelBaseGroup* group : GroupsBelow(this))
        for (Entry& entry : group->objects)
            entry.object->ApplyMatrixToGeometry(m, updateNow);
    if (updateNow)
        RecursiveUpdateBBox();
}

void trelBaseGroup::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    std::vector<const trelBaseGroup*> pending{this};
    while (!pending.empty()) {
        const trelBaseGroup* group = pending.back();
        pending.pop_back();
        for (const Entry& entry : group->objects)
            entry.object->Tessellate(out, options);
        // Pushed last to first, so the first child is taken next.
        for (size_t i = group->groups.size(); i-- > 0;)
            pending.push_back(group->groups[i].group);
    }
}

int trelBaseGroup::GetTotalObjectCount() const {
    // GroupsBelow only reads through the pointer; the cast spares a const twin.
    int total = 0;
    for (const trelBaseGroup* group : GroupsBelow(const_cast<trelBaseGroup*>(this)))
        total += group->GetNumObjects();
    return total;
}
