// The "doNimage" image procedures of one driver family: the parameters
// written before the operator (as text or as binary tokens) give the bits,
// the components and the encoding of the samples.
#pragma once

#include "analysis/ps_image.h"

struct PsAt;

// Fills `params` for the doNimage operator at the position; false when the
// image is not to be tested (parameters not found or an encoding that is not
// read; a coloured image mask is marked here).
[[nodiscard]] bool donimage_params(const PsAt& at, PSImageParams* params);
