// SPDX-License-Identifier: Apache-2.0
// Tracing sink. Operations bracket themselves with _PDEProlog/_PDEEpilog and
// may write lines with _PDELog. Both builds discard every trace: the calls
// exist so that the bracketing stays in the code, and cost nothing.
#pragma once

namespace platform {

template <class... Args>
inline void _PDEProlog(const void* /*object*/, const char* /*format*/, Args&&... /*args*/) {}
template <class... Args>
inline void _PDEEpilog(const void* /*object*/, const char* /*format*/, Args&&... /*args*/) {}
template <class... Args>
inline void _PDELog(const void* /*object*/, const char* /*format*/, Args&&... /*args*/) {}

}  // namespace platform
