#include "main_calibration_dialog.h"

#include "ckpp.h"
#include "control_ids.h"
#include "data_directory.h"
#include "picture_fit.h"

#include <algorithm>
#include <vector>

MainCalibrationDialog::MainCalibrationDialog(HINSTANCE instance, CalibSession& session,
                                             ProcessPort& process)
    : instance_(instance),
      icon_(LoadIconW(instance, MAKEINTRESOURCEW(kAppIcon))),
      session_(session),
      process_(process) {}

MainCalibrationDialog::~MainCalibrationDialog() {
    if (vehiclePicture_ != nullptr) DeleteObject(vehiclePicture_);
}

INT_PTR MainCalibrationDialog::runModal() {
    return ModalDialog::runModal(instance_, kMainDialogTemplate, nullptr);
}

void MainCalibrationDialog::onInit() {
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    fitVehiclePicture();
    dialog_ = std::make_unique<Win32Dialog>(window_);
    logic_ = std::make_unique<MainWindow>(session_, *dialog_, process_, kDataDirectory);
    logic_->startUp();
}

void MainCalibrationDialog::onButton(int controlId) {
    if (controlId == kGearboxButton) {
        openGearbox();
    } else {
        logic_->onButton(controlId);
    }
}

// The main window is the owner, so it takes no input while the gearbox dialog is open.
void MainCalibrationDialog::openGearbox() {
    ckpp gearbox(instance_, session_, logic_->calibrators());
    gearbox.runModal(window_);
}

INT_PTR MainCalibrationDialog::onMessage(UINT message, WPARAM) {
    switch (message) {
        case WM_PAINT: return paintIconWhenMinimised();
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon_);
        default: return FALSE;
    }
}

bool MainCalibrationDialog::paintIconWhenMinimised() {
    if (!IsIconic(window_)) return false;
    PAINTSTRUCT paint;
    HDC context = BeginPaint(window_, &paint);
    SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(window_, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(context, x, y, icon_);
    EndPaint(window_, &paint);
    return true;
}

namespace {

// The car picture at growing sizes, smallest first.
constexpr int kVehicleArtwork[] = {kVehicleBitmap, kVehicleBitmapLarge};

PictureSize sizeOf(HBITMAP bitmap) {
    BITMAP info{};
    GetObjectW(bitmap, sizeof info, &info);
    return {info.bmWidth, info.bmHeight};
}

// `picture` scaled to `size` with the halftone filter and centred on a bitmap of `frame`'s size,
// so that the frame shows it from edge to edge.
HBITMAP scaledToFrame(HBITMAP picture, PictureSize size, PictureSize frame) {
    HDC screen = GetDC(nullptr);
    HDC source = CreateCompatibleDC(screen);
    HDC target = CreateCompatibleDC(screen);
    HBITMAP scaled = CreateCompatibleBitmap(screen, frame.width, frame.height);
    HGDIOBJ sourceBefore = SelectObject(source, picture);
    HGDIOBJ targetBefore = SelectObject(target, scaled);
    SetStretchBltMode(target, HALFTONE);
    SetBrushOrgEx(target, 0, 0, nullptr);
    const PictureSize original = sizeOf(picture);
    StretchBlt(target, (frame.width - size.width) / 2, (frame.height - size.height) / 2, size.width,
               size.height, source, 0, 0, original.width, original.height, SRCCOPY);
    SelectObject(source, sourceBefore);
    SelectObject(target, targetBefore);
    DeleteDC(source);
    DeleteDC(target);
    ReleaseDC(nullptr, screen);
    return scaled;
}

}  // namespace

// The template's bitmap has its 100 % size; at a larger display scale the dialog and the frame
// grow with it, so the picture is made anew for the frame it is in.
void MainCalibrationDialog::fitVehiclePicture() {
    HWND frame = GetDlgItem(window_, kVehiclePicture);
    RECT client{};
    GetClientRect(frame, &client);
    const PictureSize frameSize{client.right - client.left, client.bottom - client.top};
    std::vector<HBITMAP> artwork;
    std::vector<PictureSize> sizes;
    for (int resource : kVehicleArtwork) {
        artwork.push_back(static_cast<HBITMAP>(LoadImageW(
            instance_, MAKEINTRESOURCEW(resource), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        sizes.push_back(sizeOf(artwork.back()));
    }
    const bool loaded = std::find(artwork.begin(), artwork.end(), nullptr) == artwork.end();
    // Without all of its artwork, or with no room, the frame keeps the template's picture.
    if (loaded && frameSize.width > 0 && frameSize.height > 0) {
        const PictureFit fit = fitPicture(frameSize, sizes);
        vehiclePicture_ = scaledToFrame(artwork[fit.source], fit.size, frameSize);
        HGDIOBJ fromTemplate = reinterpret_cast<HGDIOBJ>(SendMessageW(
            frame, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(vehiclePicture_)));
        if (fromTemplate != nullptr) DeleteObject(fromTemplate);
    }
    for (HBITMAP bitmap : artwork) {
        if (bitmap != nullptr) DeleteObject(bitmap);
    }
}
