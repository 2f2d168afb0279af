// The plug-in class: its descriptor and the scene exporter it creates.
#pragma once

#include "sdk/plugin.h"

inline constexpr const char* kLibDescription = "Veyda DirectX Exporter";
inline constexpr const char* kPloverClassName = "plover3dsmax";
inline constexpr const char* kPloverCategory = "File Export";
inline constexpr Class_ID kPloverClassId{0x5BA1356F, 0x7FA61CCC};
inline constexpr const char* kPloverLongDesc = "Veyda DirectX Exporter v2.2.8 for 3ds Max";
inline constexpr const char* kPloverShortDesc = "Veyda DirectX Exporter v2.2.8";
inline constexpr const char* kPloverAuthor = "Veyda";
inline constexpr const char* kPloverCopyright = "Copyright (c) Veyda. All rights reserved.";
inline constexpr unsigned int kPloverVersion = 100;

class PloverExpClassDesc : public ClassDesc2 {
public:
    int IsPublic() override { return 1; }
    void* Create(bool loading = false) override;
    const char* ClassName() override { return kPloverClassName; }
    SClass_ID SuperClassID() override { return kSceneExportClassId; }
    Class_ID ClassID() override { return kPloverClassId; }
    const char* Category() override { return kPloverCategory; }
    const char* InternalName() override { return kPloverClassName; }
    void* HInstance() override;
};

class PloverExp : public SceneExport {
public:
    int ExtCount() override { return 1; }
    const char* Ext(int n) override { return n == 0 ? "X" : ""; }
    const char* LongDesc() override { return kPloverLongDesc; }
    const char* ShortDesc() override { return kPloverShortDesc; }
    const char* AuthorName() override { return kPloverAuthor; }
    const char* CopyrightMessage() override { return kPloverCopyright; }
    const char* OtherMessage1() override { return ""; }
    const char* OtherMessage2() override { return ""; }
    unsigned int Version() override { return kPloverVersion; }
    void ShowAbout(HostWindow) override {}
    int DoExport(const char* name, ExpInterface* ei, Interface* i, int suppressPrompts, unsigned long options) override;
    int SupportsOptions(int, unsigned long) override { return 1; }
};

// The module's one descriptor.
PloverExpClassDesc& ThePloverClassDesc();

// The module instance handle stored by the attach routine (the module's load address here).
void* ModuleInstanceHandle();
