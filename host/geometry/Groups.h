#pragma once
// Groups own their objects (each with its material properties) and their
// child groups, in insertion order. The groups must form a tree (no group
// added below itself or under two parents). Every walk below, and the
// destructor, runs on an explicit stack: files nest groups far deeper than
// the call stack could follow. Allocation failure surfaces as std::bad_alloc;
// nothing else is thrown.

#include "BaseObject.h"
#include "CompactList.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

class C3DGroup;

class trelBaseGroup {
public:
    trelBaseGroup() = default;
    trelBaseGroup(const trelBaseGroup&) = delete;
    trelBaseGroup& operator=(const trelBaseGroup&) = delete;
    virtual ~trelBaseGroup();

    // Takes ownership of the object (when asked to) and keeps a copy of its
    // material properties. A null object is ignored. Should storing fail with
    // std::bad_alloc, an object handed over is deleted before the rethrow,
    // so ownership is never left in doubt.
    void AddObject(trelBaseObject* object, const trelMatProps& props, trelBool takeOwnership);
    // Takes ownership of the child group (when asked to). A null child, or
    // the group itself, is ignored; std::bad_alloc as for AddObject.
    void AddGroup(C3DGroup* child, trelBool takeOwnership);

    int GetNumObjects() const { return static_cast<int>(objects.size()); }
    int GetNumGroups() const { return static_cast<int>(groups.size()); }
    trelBaseObject* GetObject(int i) const { return objects[static_cast<size_t>(i)].Object(); }
    const trelMatProps& GetObjectMatProps(int i) const { return objects[static_cast<size_t>(i)].run->props; }
    C3DGroup* GetGroup(int i) const { return groups[static_cast<size_t>(i)].Group(); }

    void SetGroupName(trelRope name) { groupName = std::move(name); }
    const trelRope& GetGroupName() const { return groupName; }

    // Brings the boxes of this group and of every group below up to date.
    void RecursiveUpdateBBox();
    const trelBBox& GetBBox() const { return bbox; }
    // Transforms every object below; with updateNow the boxes follow at once.
    void ApplyMatrixToGeometry(const trelMatrix4x4& m, trelBool updateNow);
    // Depth first: a group's own objects in order, then its child groups in order.
    void Tessellate(trelTessellation& out, const trelTessellationOptions& options) const;
    int GetTotalObjectCount() const; // objects here and in all child groups

private:
    // Objects added one after another mostly share their material (the
    // faces of one mesh, the points of one point set, every use of a
    // repeated part, in one group or in many): their entries point to one
    // stored copy of it, a run, which counts its holders.
    struct SharedRun {
        trelMatProps props;
        std::atomic<size_t> holders{1};
    };
    static SharedRun* HoldRun(const trelMatProps& props);
    static void ReleaseRun(SharedRun* run) noexcept;
    // The object, whether it is owned (its pointer's lowest bit), and its run.
    struct Entry {
        uintptr_t bits;
        SharedRun* run;
        trelBaseObject* Object() const { return reinterpret_cast<trelBaseObject*>(bits & ~uintptr_t(1)); }
        bool Owned() const { return (bits & 1u) != 0; }
    };
    // The child and whether it is owned, in its pointer's lowest bit.
    class Child {
    public:
        Child(C3DGroup* group, bool owned) : bits(reinterpret_cast<uintptr_t>(group) | (owned ? 1u : 0u)) {}
        C3DGroup* Group() const { return reinterpret_cast<C3DGroup*>(bits & ~uintptr_t(1)); }
        bool Owned() const { return (bits & 1u) != 0; }

    private:
        uintptr_t bits;
    };
    trelCompactList<Entry> objects;
    trelCompactList<Child> groups;
    trelRope groupName;
    trelBBox bbox;
};

class C3DGroup : public trelBaseGroup {};

// The world a host hands to the loader: the root group.
class C3DWorld : public C3DGroup {};
