#pragma once
// The game's non-owning, ordered list of shootable targets.
#include "platform/Published.h"
#include <cstddef>
#include <vector>

class Target;

// The enemies a shot can hit, in level order. Refers to its targets only:
// the level's leaf lists own and destroy them.
class TargetList : public Published<TargetList> {
public:
    void add(Target* target);
    // Drops every target and releases the storage; destroys nothing.
    void clear();
    // Calls every target's update in order; a target that answers false is
    // removed, the others keep their order.
    void update();

    int count() const { return static_cast<int>(targets.size()); }
    Target* at(int index) const { return targets[static_cast<size_t>(index)]; }

private:
    std::vector<Target*> targets;
};
