// The walk that lists the elements directly inside a segment and lets each of them list its own, keeping
// its own stack so that deeply nested pages cannot exhaust the thread's stack.
#pragma once

#include "htmlparser/Position.h"

class CSource;
class CSegment;

class CChildWalk
{
public:
    enum EParentMode
    {
        PARENT_NONE,    // a plain segment: its elements' parents are left as they are
        PARENT_TOP,     // the source: its elements are top-level (null parent)
        PARENT_ELEMENT, // an element: it becomes the parent of its children
    };

    // Fills pOwner's child list from the start tags in [nFrom, nTo); the listed elements compute their own
    // children with nChildDepth (-1: no depth).
    static void run(CSource* pSource, CSegment* pOwner, Position nFrom, Position nTo, EParentMode eMode,
                    int nChildDepth);
};
