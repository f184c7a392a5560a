#include "display_connection.h"

#include <QByteArray>
#include <QtGlobal>

namespace pelorin::ui {

// Repaints go through the connection, not through shared memory: with shared
// memory Qt waits for the server's answer before each paint, a second
// wake-up per refresh of the rows that costs more than copying the few
// changed spans of text.
void PrepareDisplayConnection() { qputenv("QT_XCB_NO_MITSHM", "1"); }

}  // namespace pelorin::ui
