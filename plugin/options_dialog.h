// The options dialog as the driver shows it: true when the user accepted (OK).
#pragma once

class ExportContext;

bool ShowOptionsDialog(ExportContext& exporter);
