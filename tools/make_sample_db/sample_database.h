// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sample database the program ships (Samples/sample.mdb):
//   Pictures   (ID Long, Caption Text, Picture OLE Object): a dozen pictures stored the ways
//              Access stores them, class by class, then an empty field, an object of a class
//              the program does not know and a linked object;
//   Raw Photos (ID Long, Caption Text, Photo OLE Object): JPEG and PNG files stored as they
//              are, with no OLE wrapper.

#include "jet_writer/jet_writer.h"

namespace pictrova::sample {

jet::DatabasePlan SampleDatabase();

// Its Access 2007 twin (Samples/sample.accdb): the same two tables, and
//   Attached Photos (ID Long, Caption Text, Photos Attachment): a record with three pictures,
//              one with none, one with a text document and one with a single picture.
jet::DatabasePlan SampleAccdb();

}  // namespace pictrova::sample
