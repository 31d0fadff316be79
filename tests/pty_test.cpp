int dummy_pty;
