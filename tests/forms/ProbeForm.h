// A stand-in rewriter for every row of the form factory, for the tests that drive the send-raw-data
// handler: the page tells it what to do through the "data-outcome" attribute of its element with id
// "probe" (rewrite, error, empty, replace, overlap, throw-runtime, throw-oom, throw-dom); without one it
// rewrites. Its edits carry the "data-title" attribute's text, escaped, into the page.
#pragma once

#include "forms/DLFormFactory.h"

CDLForm* MakeProbeForm(FormKind eKind, CSWFormContext* pFormContext);
void InstallProbeForms();
void RemoveProbeForms();
