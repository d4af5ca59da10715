#pragma once

// The window's forms and style sheets name Arial and the Brandon families,
// and elsewhere keep the default font, which on Windows is the dialog alias
// "MS Shell Dlg 2". Where a family is not found, a plain sans stands in
// (for Arial first the one with its metrics), rather than whatever the font
// mapper picks for an unknown name: under wine, without Arial, that was a
// mathematical serif, wider and taller, which clipped the pages' texts.
// Call once, after the application object exists.
void installFontFallbacks();
