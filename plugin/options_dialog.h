// The options dialog as the driver shows it: true when the user accepted (OK).
#pragma once

class XExporter;

bool ShowOptionsDialog(XExporter& exporter);
