// The whole TDVP library: errors, statistics from samples, the QGT and the conjugate-gradient solve.
#pragma once

#include "variational/qgt.hpp"
#include "variational/tdvp_error.hpp"
#include "variational/tdvp_statistics.hpp"
