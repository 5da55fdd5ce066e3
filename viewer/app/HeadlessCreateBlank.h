#pragma once

class QTextStream;
struct ViewerRunValues;

// `OVTrack --create-blank`: the viewer's Create blank without a window, for set-up scripts and
// administrators. Connects with the run values and creates the Tracking table. Returns 0 when the
// table was made, else 1 after writing the database's (or the connection's) message to `errors`.
int createBlankTrackTable(const ViewerRunValues &values, QTextStream &errors);
