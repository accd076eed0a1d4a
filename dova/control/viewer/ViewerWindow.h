#pragma once
// The window of dova-viewer: one viewer component filling it, answering the component's events the
// way a plain single-connection host does.

#include "IVNCViewer.h"

#include <QWidget>

struct ViewerOptions {
    QString Server;   // HOST[:PORT]
    QString Password; // empty: ask when the server wants one
    bool HasPassword = false;
    bool ViewOnly = false;
    bool FullScreen = false;
    int ScaleNumerator = 1;
    int ScaleDenominator = 1;
    int BitsPerPixel = 0;   // 0: the component's default
    QList<int> Encodings;   // the codec list in that order; empty: the component's default
    int QualityLevel = -1;  // Tight's JPEG quality 0-9; -1: the component's default (no JPEG)
    int CompressLevel = -1; // Tight's zlib level 0-9; -1: the server's choice
    int Encryption = 1;     // dovaEncryptionPrefer, as dova-snap
    QString User;
    QString KnownCertificates; // empty: the user's store
    bool AcceptNew = false;    // remember an unknown certificate without asking
};

class ViewerWindow : public QWidget, public dova::IVNCViewerEvents {
public:
    ViewerWindow(dova::IVNCViewer& viewer, const ViewerOptions& options);
    ~ViewerWindow() override;

    // Starts the connection; false when the component refused it.
    bool Open();

    void Connected(QString& ServerName) override;
    void Disconnected() override;
    void Password() override;
    void Error(int32_t Number, QString& Message, const dova::VNCVariant& v1) override;
    void Warning(int32_t Number, QString& Message, const dova::VNCVariant& v1) override;

private:
    void FitToImage();

    dova::IVNCViewer& Viewer;
    ViewerOptions Options;
    bool Failed = false;
    bool TrustAsked = false;
};
