#pragma once
#include "platform/App.h"

#include <memory>

class CMainFrame;
class CAutorunDoc;

class CAutorunApp : public App {
public:
    CAutorunApp();
    ~CAutorunApp() override;

protected:
    bool InitInstance() override;

private:
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CAutorunDoc> m_document;
};
