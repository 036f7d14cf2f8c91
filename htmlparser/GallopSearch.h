// Searches of a sorted range that start from where the last one ended: walks over a page ask for places
// near one another, and a search from the last answer costs the logarithm of how far the new one lies rather
// than of the whole range.
#pragma once

#include <algorithm>
#include <cstddef>

// The first index of [nLow, nHigh) that the places before it (bBefore true of them) do not reach, looked for
// outwards from nHint: steps that double from there, then halving within the last step, cost the logarithm
// of how far the answer lies from the hint rather than of the run's length.
template <class FBefore> size_t GallopFrom(size_t nLow, size_t nHigh, size_t nHint, FBefore bBefore)
{
    nHint = std::min(std::max(nHint, nLow), nHigh);
    size_t nFrom = nLow;
    size_t nTo = nHigh;
    if (nHint < nHigh && bBefore(nHint))
    {
        nFrom = nHint + 1;
        for (size_t nStep = 1;; nStep *= 2)
        {
            if (nHigh - nFrom < nStep)
                break;
            const size_t nProbe = nFrom + nStep - 1;
            if (!bBefore(nProbe))
            {
                nTo = nProbe;
                break;
            }
            nFrom = nProbe + 1;
        }
    }
    else
    {
        nTo = nHint;
        for (size_t nStep = 1;; nStep *= 2)
        {
            if (nTo - nLow < nStep)
                break;
            const size_t nProbe = nTo - nStep;
            if (bBefore(nProbe))
            {
                nFrom = nProbe + 1;
                break;
            }
            nTo = nProbe;
        }
    }
    while (nFrom < nTo)
    {
        const size_t nMiddle = nFrom + (nTo - nFrom) / 2;
        if (bBefore(nMiddle))
            nFrom = nMiddle + 1;
        else
            nTo = nMiddle;
    }
    return nFrom;
}
