// Plug-in base classes: the class descriptor and the scene exporter.
#pragma once

#include "sdk/host.h"
#include "sdk/types.h"

// The host heap's operators; plug-in objects are created and deleted through them.
class MaxHeapOperators {
public:
    static void* operator new(size_t size);
    static void operator delete(void* p);
};

class ClassDesc : public MaxHeapOperators {
public:
    virtual ~ClassDesc() = default;
    virtual int IsPublic() = 0;
    virtual void* Create(bool loading = false) = 0;
    virtual const char* ClassName() = 0;
    virtual SClass_ID SuperClassID() = 0;
    virtual Class_ID ClassID() = 0;
    virtual const char* Category() = 0;
    virtual const char* InternalName() { return nullptr; }
    virtual void* HInstance() { return nullptr; }
};

class ClassDesc2 : public ClassDesc {};

// Option bit of DoExport: export the selected nodes only.
inline constexpr unsigned kSceneExportSelected = 0x1;

class SceneExport : public MaxHeapOperators {
public:
    virtual ~SceneExport() = default;
    virtual int ExtCount() = 0;
    virtual const char* Ext(int n) = 0;
    virtual const char* LongDesc() = 0;
    virtual const char* ShortDesc() = 0;
    virtual const char* AuthorName() = 0;
    virtual const char* CopyrightMessage() = 0;
    virtual const char* OtherMessage1() = 0;
    virtual const char* OtherMessage2() = 0;
    virtual unsigned int Version() = 0;
    virtual void ShowAbout(HostWindow hWnd) = 0;
    virtual int DoExport(const char* name, ExpInterface* ei, Interface* i, int suppressPrompts, unsigned long options) = 0;
    virtual int SupportsOptions(int ext, unsigned long options) = 0;
};

// SDK version reported by LibVersion: release 14000, API 38, revision 0.
inline constexpr unsigned long kMaxApiVersion = 0x36B02600ul;
