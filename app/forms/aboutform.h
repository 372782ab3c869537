// Taboutform: the about box, the product's name and an OK button.
#pragma once

#include <memory>

#include "app/forms/Form.h"

namespace Ui {
class Taboutform;
}

namespace app {

class Taboutform : public TForm {
    Q_OBJECT

public:
    explicit Taboutform(QWidget* parent = nullptr);
    ~Taboutform() override;

private:
    std::unique_ptr<Ui::Taboutform> ui_;
};

}  // namespace app
