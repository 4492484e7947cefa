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

trelBaseGroup::Run& trelBaseGroup::Run::operator=(const Run& other) noexcept {
    SharedRun* const kept = other.run; // read first: `other` may be this handle
    other.Hold();
    Release();
    run = kept;
    return *this;
}

void trelBaseGroup::Run::Release() noexcept {
    if (run && run->holders.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete run;
    run = nullptr;
}

// The properties as last stored by any group of this thread, when they are
// the same: a file's groups mostly repeat them (each use of a part, each
// part of one colour), and then hold one copy between them.
trelBaseGroup::Run trelBaseGroup::SharedProps(const trelMatProps& props) {
    thread_local Run last;
    if (!last || !(*last == props))
        last = Run(new SharedRun{props});
    return last;
}

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
    try {
        uint32_t run = laterRuns ? static_cast<uint32_t>(laterRuns->size()) : 0;
        if (!firstRun) {
            firstRun = SharedProps(props);
        } else if (!(RunProps(run) == props)) {
            if (!laterRuns)
                laterRuns = std::make_unique<std::vector<Run>>();
            laterRuns->push_back(SharedProps(props));
            ++run;
        }
        objects.push_back(Entry{object, run, takeOwnership});
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
    // After its children, so that every child's box is ready.
    WalkBelow(
        this, [](trelBaseGroup&) {},
        [](trelBaseGroup& group) {
            group.bbox.Reset();
            for (const Entry& entry : group.objects)
                group.bbox.AddBox(entry.object->GetBBox());
            for (const Child& child : group.groups)
                group.bbox.AddBox(static_cast<const trelBaseGroup*>(child.Group())->bbox);
        });
}

void trelBaseGroup::ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow) {
    WalkBelow(
        this,
        [&](trelBaseGroup& group) {
            for (Entry& entry : group.objects)
                entry.object->ApplyMatrixToGeometry(m, updateNow);
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
                entry.object->Tessellate(out, options);
        },
        [](const trelBaseGroup&) {});
}

int trelBaseGroup::GetTotalObjectCount() const {
    int total = 0;
    WalkBelow(
        this, [&](const trelBaseGroup& group) { total += group.GetNumObjects(); }, [](const trelBaseGroup&) {});
    return total;
}
