int dummy_ui;
