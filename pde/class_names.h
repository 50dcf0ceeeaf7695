// SPDX-License-Identifier: Apache-2.0
// Class names of the build. The shared source uses the short names; each
// build compiles it with its own prefix (JOBWICK_CLASS_PREFIX, set by the
// build from the model profile), so that both plug-ins can be loaded into
// one print dialog without their classes meeting.
#pragma once

#ifndef JOBWICK_CLASS_PREFIX
#error "JOBWICK_CLASS_PREFIX must name the build's class prefix"
#endif

#define JOBWICK_CAT2(a, b) a##b
#define JOBWICK_CAT(a, b) JOBWICK_CAT2(a, b)
#define JOBWICK_STR2(a) #a
#define JOBWICK_STR(a) JOBWICK_STR2(a)

#define JC JOBWICK_CAT(JOBWICK_CLASS_PREFIX, JC)
#define JCPDEPlugIn JOBWICK_CAT(JOBWICK_CLASS_PREFIX, JCPDEPlugIn)
#define JCPDEPluginCallback JOBWICK_CAT(JOBWICK_CLASS_PREFIX, JCPDEPluginCallback)
#define JCSOAPClient JOBWICK_CAT(JOBWICK_CLASS_PREFIX, JCSOAPClient)

/// Full names as text, for the manifest and the factory symbol.
#define JOBWICK_PRINCIPAL_CLASS_NAME JOBWICK_STR(JCPDEPlugIn)
#define JOBWICK_CONTROLLER_CLASS_NAME JOBWICK_STR(JC)

/// The highlighting addition of the text-field class: myVk7300JCHilite or
/// myVk410eJCHilite (JOBWICK_MODEL_TAG is Vk7300 or Vk410e).
#define myJCHilite JOBWICK_CAT(my, JOBWICK_CAT(JOBWICK_MODEL_TAG, JCHilite))
