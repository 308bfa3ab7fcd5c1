// Resource and control ids of the calibration program. Included by the C++ code and by the
// resource script, so it holds plain #defines only.
#ifndef TRIMDESK_CONTROL_IDS_H
#define TRIMDESK_CONTROL_IDS_H

// Resources
#define kMainDialogTemplate 102
#define kAppIcon 128
#define kVehicleBitmap 129
#define kGearboxDialogTemplate 130
#define kVehicleBitmapLarge 131  // the car picture at twice the size, for display scales above 100 %

// Main calibration window (template 102)
#define kOkButton 1
#define kCancelButton 2
#define kStatusLine 1000
#define kMinEdit 1001
#define kBackButton 1002
#define kRestoreDefaultsButton 1003
#define kDefaultsNote 1004
#define kCalibrateButton 1005
#define kMaxEdit 1006
#define kRememberButton 1007
#define kDefaultsHeading 1008
#define kFirstDefaultLine 1009  // one line per control, 1009..1013 in control order
#define kForwardButton 1014
#define kManualEntryCheck 1015
#define kOldMinLabel 1016
#define kOldMaxLabel 1017
#define kOldValuesLabel 1018
#define kStepTitle 1019
#define kHelpButton 1020
#define kVehiclePicture 1021
#define kOkHint 1022
#define kGearboxButton 1023

// Gearbox dialog (template 130); its ids overlap those of the main window.
#define kGearWriteButton 1
#define kGearCancelButton 2
#define kCaptureGearButton 1002
#define kGearInstructionsHeading 1000
#define kFirstGearInstruction 1004  // instruction lines 1..5: 1004..1008
#define kLastGearInstruction 1009   // instruction line 6
#define kFirstGearCheck 1015        // one per gear, 1015..1021 in gear order
#define kFirstGearRadio 1024        // one per gear, 1024..1030 in gear order
#define kGearNoticeLine1 1032
#define kGearNoticeLine2 1033

#endif
