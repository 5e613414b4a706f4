"""tarnwick-simec.efi: the real program with a simulated EC behind its ports."""
