// What the thumbnail provider and the preview handler of the shell DLL share.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <propsys.h>
#include <shobjidl.h>

#include <vector>

// This DLL, found by an address inside it.
HMODULE ThisModule();
// The whole stream, at most the module's input limit.
HRESULT ReadStream(IStream *stream, std::vector<unsigned char> *bytes);
// Live objects of the DLL, for DllCanUnloadNow.
void ObjectMade();
void ObjectGone();

// The file as Explorer hands it over (IInitializeWithStream), once, kept for
// when the object is asked for its picture.
class StreamInput : public IInitializeWithStream {
public:
    IFACEMETHODIMP Initialize(IStream *stream, DWORD) override
    {
        if (stream == nullptr) return E_INVALIDARG;
        if (stream_ != nullptr) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
        stream_ = stream;
        stream_->AddRef();
        return S_OK;
    }

protected:
    virtual ~StreamInput() { ReleaseStream(); }
    void ReleaseStream()
    {
        if (stream_ != nullptr) stream_->Release();
        stream_ = nullptr;
    }
    IStream *stream_ = nullptr;
};

// A new preview handler, asked for interface iid.
HRESULT CreatePreviewHandler(REFIID iid, void **object);
// Destroys the preview window class when the DLL goes.
void ForgetPreviewWindowClass();
