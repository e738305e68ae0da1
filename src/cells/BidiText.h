#pragma once
// Text from the service shown in a left-to-right interface: a name must not turn the text around it (U+202E
// makes "刘洋_Liu" read "uiL_洋刘"), and no text may carry its direction overrides past its own end.
#include <QString>

// The text with the embedding, override and isolate controls (U+202A-U+202E, U+2066-U+2069) taken out; the marks
// (U+200E, U+200F) stay, since they change only how neutral characters lean.
QString neutralizeBidiControls(const QString& text);

// A name as shown: neutralised, and, when it holds right-to-left letters, isolated (U+2068 ... U+2069) so that it
// takes its own direction without reordering what stands next to it.
QString displayName(const QString& name);
