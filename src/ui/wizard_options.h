// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The wizard's ExtractionOptions: every read looks at the options page's controls as they are
// at that moment, so a choice changed while a run yields is seen at the run's next read.

#include "run/extraction_options.h"

namespace pictrova::ui {

class Form2;

class WizardOptions : public run::ExtractionOptions {
  public:
    explicit WizardOptions(const Form2& page) : page_(page) {}

    std::string table() const override;
    std::string pictureField() const override;
    run::ReadMethod readMethod() const override;
    run::Naming naming() const override;
    std::string prefix() const override;
    std::string nameField() const override;
    run::OutputFormat format() const override;
    int quality() const override;
    std::string outputFolder() const override;

  private:
    const Form2& page_;
};

}  // namespace pictrova::ui
