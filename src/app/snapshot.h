#pragma once

namespace vellumry {

/// Saves the next frame drawn, as it is about to be shown, as a PNG file named after the date
/// and time (vellumry-YYYY-MM-DD-HHMMSS.png, with -2, -3, ... if that exists) in the current
/// directory, and prints its path on standard output. It changes nothing in the session.
void requestSnapshot();

}  // namespace vellumry
