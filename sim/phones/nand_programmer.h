// The "nand" family's RAM programmer: streaming download multi-image (streaming_programmer.h)
// against a NAND kept as one file per image type in DIR/nand/phoneN/ (made when missing), named
// after the type: partition-table.mbn, qcsblhd-cfgdata.mbn, qcsbl.mbn, oemsbl.mbn (its header
// oemsbl-header.mbn), amss.mbn (amss-header.mbn), apps-boot.mbn (apps-boot-header.mbn), apps.mbn
// (apps-header.mbn); other types as type-XX.mbn.
//
//   partition table  taken (status 0) when the phone holds none or the same one; "differs" (1)
//                    when it holds another, and then taken only with override (answered 1 again)
//   open multi-image only after a partition table was taken; the types that carry a header
//                    (oemsbl, amss, apps, apps boot loader) need it as payload (3 when missing),
//                    the others take none (2); the image's file is started anew (written over
//                    in place, cut to what was written when the image is closed)
//   stream write     the open image, in order from byte 0 (another address is refused)
//
// Fault (phone_faults.h) beside those of every streaming programmer: table-differs, the phone
// answers "differs" to every partition table sent without override.
#pragma once

#include <memory>

#include "sim/phones/flash_family.h"

namespace sim {

std::unique_ptr<DownloadSpeaker> MakeNandProgrammer(const FamilySetup& setup);

}  // namespace sim
