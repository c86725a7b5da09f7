// The numbered messages of the install tree. A container sends helper notifications (negative
// codes) sideways to its helper components with Broadcast; files and containers report
// information events (positive codes) upward through their containers with
// DoInformationEventControl.
#pragma once

namespace tmby {

// Helper notifications. The object that travels with a code is owned by the sender.
enum THelperNotification : int {
  hnAboutToInstall = -999,      // the object is included and about to install
  hnFileStatus = -998,          // TFileStatusParameter: progress of a file
  hnReplacing = -997,           // the file: it will overwrite an existing file
  hnOperationOver = -996,       // a file or container operation is over
  hnBeforeGoodInstall = -995,   // engine: before the good-install dialogs
  hnBeforeBadInstall = -994,    // engine: before the bad-install dialogs
  hnNewDisk = -993,             // TList of the file and a TDiskParameter
  hnInstallHelpers = -992,      // a file container starts installing its helpers
  hnBeforeProcessFired = -990,  // OnBeforeProcess has been fired
  hnAfterProcessFired = -989,   // OnAfterProcess has been fired
  hnDataReceived = -988,        // TDownloadStatusParameter: download progress
  hnRebootPending = -987,       // engine: a reboot is pending
  hnInitialized = -986,         // engine: after initialization
  hnBeforeReadArchiveInfo = -984,
  hnAfterReadArchiveInfo = -983,
  hnBeforeInstall = -980,  // engine: the before-install dialogs
  hnGoodInstall = -979,
  hnBadInstall = -978,
  hnRegistration = -962,     // the registration dialogs (no sender in the engine)
  hnShowStatusText = -974,   // TMessageParameter: a status text to show
  hnClearStatusText = -973,  // the status text is over
};

// Information events. The sender is the reporting object; the object is as noted.
enum TInformationEvent : int {
  ieFileInstalled = 1001,      // the file
  ieBeforeFileInstall = 1002,  // the file
  ieReplacing = 1003,          // the file
  ieBeforeCompress = 1004,     // the file
  ieAfterCompress = 1005,      // the file
  ieBeforeCopy = 1006,         // the file
  ieAfterCopy = 1007,          // the file
  ieInstallStatus = 1008,      // TList of the file and a TFileStatusParameter
  ieCompressStatus = 1009,     // the same
  ieCopyStatus = 1010,         // the same
  ieNewDisk = 1011,            // TList of the file and a TDiskParameter
  ieContainerStart = 1012,     // the container
  ieContainerEnd = 1013,       // the container
  ieDataReceived = 1014,       // TDownloadStatusParameter
  ieFileSkipped = 1015,        // the file: its OnBeforeInstall aborted
  ieFileKept = 1016,           // the file: the existing target stays
};

}  // namespace tmby
