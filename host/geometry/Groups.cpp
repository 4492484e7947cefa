#include "Groups.h"

#include <memory>
#include <vector>

namespace {

// Walks `root` and every group below it depth first, on a stack of (group,
// next child) frames, so that its memory follows the depth of the tree and
// not its size: `enter` sees a group before its children, `leave` after.
template <class Group, class Enter, class Leave>
void WalkBelow(Group* root, Enter enter, Leave leave) {
    struct Frame {
        Group* group;
        int next;
    };
    std::vector<Frame> stack{{root, 0}};
    enter(*root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.group->GetNumGroups()) {
            Group* child = top.group->GetGroup(top.next++);
            enter(*child);
            stack.push_back({child, 0});
        } else {
            leave(*top.group);
            stack.pop_back();
        }
    }
}

} // namespace

void trelBaseGroup::ReleaseRun(SharedRun* run) noexcept {
    if (run && run->holders.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete run;
}

// The properties as last stored by any group of this thread, when they are
// the same: a file's groups mostly repeat them (each use of a part, each
// part of one colour), and then hold one copy between them.
trelBaseGroup::SharedRun* trelBaseGroup::HoldRun(const trelMatProps& props) {
    struct Last {
        SharedRun* run = nullptr;
        ~Last() { ReleaseRun(run); }
    };
    thread_local Last last;
    if (!last.run || !(last.run->props == props)) {
        SharedRun* fresh = new SharedRun{props};
        ReleaseRun(last.run);
        last.run = fresh;
    }
    last.run->holders.fetch_add(1, std::memory_order_relaxed);
    return last.run;
}

trelBaseGroup::~trelBaseGroup() {
    for (Entry& entry : objects) {
        if (entry.Owned())
            delete entry.Object();
        ReleaseRun(entry.run);
    }

    // Each owned descendant is emptied of its child list before it is
    // deleted, so no destructor ever reaches a second level. (Growing this
    // list can fail only when memory is exhausted, which in a destructor
    // ends the program, as any exception there would.)
    std::vector<trelBaseGroup*> doomed;
    for (const Child& child : groups)
        if (child.Owned())
            doomed.push_back(child.Group());
    groups.clear();
    while (!doomed.empty()) {
        trelBaseGroup* group = doomed.back();
        doomed.pop_back();
        for (const Child& child : group->groups)
            if (child.Owned())
                doomed.push_back(child.Group());
        group->groups.clear();
        delete group;
    }
}

void trelBaseGroup::AddObject(trelBaseObject* object, const trelMatProps& props, trelBool takeOwnership) {
    if (!object)
        return;
    SharedRun* run = nullptr;
    try {
        run = HoldRun(props);
        objects.push_back(Entry{reinterpret_cast<uintptr_t>(object) | (takeOwnership ? 1u : 0u), run});
    } catch (...) {
        ReleaseRun(run);
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
    // After its children, so that every child's box is ready.
    WalkBelow(
        this, [](trelBaseGroup&) {},
        [](trelBaseGroup& group) {
            group.bbox.Reset();
            for (const Entry& entry : group.objects)
                group.bbox.AddBox(entry.Object()->GetBBox());
            for (const Child& child : group.groups)
                group.bbox.AddBox(static_cast<const trelBaseGroup*>(child.Group())->bbox);
        });
}

void trelBaseGroup::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) {
    WalkBelow(
        this,
        [&](trelBaseGroup& group) {
            for (Entry& entry : group.objects)
                entry.Object()->ApplyMatrixToGeometry(m, updateNow);
        },
        [](trelBaseGroup&) {});
    if (updateNow)
        RecursiveUpdateBBox();
}

void trelBaseGroup::Tessellate(trelTessellation& out, const trelTessellationOptions& options) const {
    WalkBelow(
        this,
        [&](const trelBaseGroup& group) {
            for (const Entry& entry : group.objects)
                entry.Object()->Tessellate(out, options);
        },
        [](const trelBaseGroup&) {});
}

int trelBaseGroup::GetTotalObjectCount() const {
    int total = 0;
    WalkBelow(
        this, [&](const trelBaseGroup& group) { total += group.GetNumObjects(); }, [](const trelBaseGroup&) {});
    return total;
}
