// The display scale. The program tells the system it is DPI-aware (its manifest), so the
// system does not stretch its windows: every length it sets in pixels is given for 96 DPI
// (100 %) and goes through ScaleToDpi, and its pictures come in the size drawn for the scale
// nearest to the screen's.
#pragma once

// The screen's DPI (LOGPIXELSY), read once: for a program aware of the system DPI it stays
// the same for the whole run. 96 when it cannot be read.
int ScreenDpi();
// A length for 96 DPI at the screen's DPI, rounded (MulDiv).
int ScaleToDpi(int value);
// The picture scale drawn nearest to the screen's DPI, in percent: 100, 125, 150 or 200
// (ties go to the larger pictures).
int PictureScale();
// The size of the row-state and activity icons at PictureScale: 16, 20, 24 or 32 pixels.
int StateIconSize();
