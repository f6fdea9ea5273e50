// The model families the case files, the keld command and the Python module
// know. Each family's entry is defined in a file of its own in this folder;
// registry.cpp lists them.
#pragma once

#include "keld/case.h"

namespace keld::refhost::families {

ModelEntry sanchez_lacombe();
ModelEntry pcsaft();
ModelEntry saft();
ModelEntry saft_stored();
ModelEntry cubic();
ModelEntry pcsaft_segment();
ModelEntry saft_segment();
ModelEntry sanchez_lacombe_segment();
ModelEntry pcsaft_assoc();

}  // namespace keld::refhost::families

// What the phase-equilibrium layer (equilibria/) needs from a family
// ------------------------------------------------------------------
// The layer calls a family's monitor many times per equilibrium, for one
// phase at a time, exactly as a simulator would: it reads nothing but the
// monitor's outputs. It works for every registered family through
// `ModelEntry::evaluate`; a family may in addition offer a fast path.
//
// Every family (generic path, `evaluate`):
//  - honours the state's T, P, Z (apparent mole fractions, may contain zeros),
//    IDX, phase (1 vapour, 2 liquid), data set and KOPT, and the request flags
//    for ln phi (KPHI), H (KH), G (KG) and V (KV) with value 1: the layer asks
//    for values only, never for temperature derivatives;
//  - returns ln phi on the host's apparent basis (the true-basis value plus
//    ln(x/Z) for every component with Z > 0, the true-basis value where Z = 0),
//    and H, G, V per kmol of the apparent basis, as the common calling
//    convention states;
//  - leaves status 1 when it found the density root of the requested kind and
//    clears it to 0 when the root search failed. When the requested root does
//    not exist the host's search may return the other kind; the layer detects
//    that itself from the volumes;
//  - allocates nothing that grows from call to call, and does not resize the
//    StateResult vectors it is given (one slot per listed component).
// Fast path (optional): a family whose monitor takes the common 27 arguments
// sets `ModelEntry::monitor27` to its exported routine. The layer then calls
// it directly with work offset 0, KSPARE 0 and the flags above, skipping the
// StateRequest/StateResult copies; the outputs must be those `evaluate` gives.
// A family that leaves `monitor27` null is used through `evaluate`.
