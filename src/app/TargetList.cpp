// The list of shootable targets, updated once per frame.
#include "app/TargetList.h"

#include "app/Target.h"

void TargetList::add(Target* target)
{
    if (target)
        targets.push_back(target);
}

void TargetList::clear()
{
    std::vector<Target*>().swap(targets);
}

void TargetList::update()
{
    size_t i = 0;
    while (i < targets.size()) {
        if (targets[i]->update())
            ++i;
        else
            targets.erase(targets.begin() + static_cast<long>(i));
    }
}
